#pragma once

#include "kovra/ik/FrameMatrix.h"
#include "kovra/ik/Quaternion.h"
#include "kovra/ik/Vector3.h"

// The small geometry kit shared by the solver and the handles. Angles are
// radians in the vector helpers and degrees in the frame and quaternion
// rotations, as the host's own operations take them.
namespace kovra {

inline constexpr float kRadToDeg = 57.295776f;
inline constexpr float kDegToRad = 0.017453292f;

// How a rotation meets the one already held: replace it, or be applied first,
// in the object's own local space (the host's "combine" mode 1).
enum class Combine : int { Replace = 0, Local = 1 };

// Unit axes, built once; the solver and the handles share them.
struct Axes {
    Vector3 x{1.0f, 0.0f, 0.0f};
    Vector3 y{0.0f, 1.0f, 0.0f};
    Vector3 z{0.0f, 0.0f, 1.0f};
};
inline constexpr Axes kAxes{};
inline constexpr Vector3 AxisX = kAxes.x;
inline constexpr Vector3 AxisY = kAxes.y;
inline constexpr Vector3 AxisZ = kAxes.z;

// ---- scalars -------------------------------------------------------------
float Atan2(float y, float x);
float Sin(float a);
float Cos(float a);
float Sqrt(float v);
// Clamps its argument to -1..1 first, so rounding never yields NaN.
float Acos(float v);
float Clamp(float v, float lo, float hi);
bool IsFinite(float v);
bool IsFinite(const Vector3& v);
bool IsFinite(const Quaternion& q);
bool IsFinite(const FrameMatrix& m);

// ---- vectors -------------------------------------------------------------
float Dot(const Vector3& a, const Vector3& b);
Vector3 Cross(const Vector3& a, const Vector3& b);
float Length(const Vector3& v);
float Distance(const Vector3& a, const Vector3& b);
// Unit-length copy; (0, 0, 0) when the vector is too short to scale.
Vector3 NormalizedCopy(const Vector3& v);
// Normalises in place and returns the length it had (0 leaves v at zero).
float Normalize(Vector3& v);
Vector3 Lerp(const Vector3& a, const Vector3& b, float t);
// Rotates v about a unit axis by angle radians.
Vector3 RotateAboutAxis(const Vector3& v, const Vector3& axis, float angle);

// ---- frames --------------------------------------------------------------
// Point expressed in the frame's axes (exact for orthonormal frames).
Vector3 ToFrameLocal(const Vector3& point, const FrameMatrix& frame);
Vector3 ToFrameWorld(const Vector3& local, const FrameMatrix& frame);
// Row vector times frame, plus pos.
Vector3 TransformPoint(const Vector3& point, const FrameMatrix& frame);
// Direction times the frame's rotation rows (no translation).
Vector3 TransformVector(const Vector3& v, const FrameMatrix& frame);
// Through the full inverse, so scaled frames work too; a singular frame falls
// back to ToFrameLocal rather than dividing by zero.
Vector3 InverseTransformPoint(const Vector3& point, const FrameMatrix& frame);
// a then b: the frame of a child (a, local) under a parent (b, world).
FrameMatrix Multiply(const FrameMatrix& a, const FrameMatrix& b);
// False, with out untouched, when the frame cannot be inverted.
bool Invert(const FrameMatrix& m, FrameMatrix& out);
FrameMatrix WithoutTranslation(FrameMatrix m);
// Rotation about a unit axis by degrees. Replace makes m the pure rotation
// (pos zero); Local applies the rotation in m's own space and keeps pos.
void RotateFrame(FrameMatrix& m, const Vector3& axis, float degrees, Combine mode);
// Scales the rotation rows of m in its local space (pos kept).
void ScaleFrame(FrameMatrix& m, const Vector3& scale);
// Orthonormal basis with one axis along dir (mode 0: right, 1: up, 2: at) and
// its roll fixed by refAxis; zero rows when dir is parallel to refAxis.
FrameMatrix BasisFromDirection(const Vector3& dir, const Vector3& refAxis, int mode);

// ---- quaternions ---------------------------------------------------------
Quaternion Conjugate(const Quaternion& q);
// Hamilton product: the rotation of b applied first, then a's.
Quaternion Multiply(const Quaternion& a, const Quaternion& b);
// Unit copy; identity when q has no length to scale.
Quaternion Normalized(const Quaternion& q);
float Dot(const Quaternion& a, const Quaternion& b);
// Spherical interpolation along the shorter arc; t outside 0..1 is clamped.
Quaternion Slerp(const Quaternion& from, const Quaternion& to, float t);
Quaternion AxisAngle(const Vector3& axis, float degrees);
void RotateQuaternion(Quaternion& q, const Vector3& axis, float degrees, Combine mode);
Quaternion MatrixToQuaternion(const FrameMatrix& m);
// Rotation rows of q (right = image of X, up = image of Y, at = image of Z).
FrameMatrix QuaternionToFrame(const Quaternion& q, const Vector3& pos = {});
// Keeps q's swing and drops its rotation about axis.
Quaternion RemoveTwist(const Quaternion& q, const Vector3& axis);
Vector3 RotateVector(const Quaternion& q, const Vector3& v);

}  // namespace kovra
