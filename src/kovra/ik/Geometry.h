#pragma once

#include <cmath>

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

// The small helpers are defined here, inline: they run thousands of times
// a frame, and a call across files costs more than most of them.

// ---- scalars -------------------------------------------------------------
// Single precision throughout; a negative or NaN argument of Sqrt gives 0.
inline float Atan2(float y, float x) { return std::atan2(y, x); }
inline float Sin(float a) { return std::sin(a); }
inline float Cos(float a) { return std::cos(a); }
inline float Sqrt(float v) { return v > 0.0f ? std::sqrt(v) : 0.0f; }
inline float Clamp(float v, float lo, float hi) {
    if (!(v >= lo)) return lo;  // NaN lands on lo too
    return v > hi ? hi : v;
}
// Clamps its argument to -1..1 first, so rounding never yields NaN.
inline float Acos(float v) { return std::acos(Clamp(v, -1.0f, 1.0f)); }
inline bool IsFinite(float v) { return std::isfinite(v); }
inline bool IsFinite(const Vector3& v) { return IsFinite(v.x) && IsFinite(v.y) && IsFinite(v.z); }
inline bool IsFinite(const Quaternion& q) {
    return IsFinite(q.x) && IsFinite(q.y) && IsFinite(q.z) && IsFinite(q.w);
}
inline bool IsFinite(const FrameMatrix& m) {
    return IsFinite(m.right) && IsFinite(m.up) && IsFinite(m.at) && IsFinite(m.pos);
}

// Below this squared length a vector or quaternion has no usable direction.
inline constexpr float kTinySquared = 1e-24f;

// ---- vectors -------------------------------------------------------------
inline float Dot(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vector3 Cross(const Vector3& a, const Vector3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float Length(const Vector3& v) { return Sqrt(Dot(v, v)); }
inline float Distance(const Vector3& a, const Vector3& b) { return Length(a - b); }
// Unit-length copy; (0, 0, 0) when the vector is too short to scale.
inline Vector3 NormalizedCopy(const Vector3& v) {
    const float lenSq = Dot(v, v);
    if (!(lenSq > kTinySquared) || !IsFinite(lenSq)) return {};
    return v / Sqrt(lenSq);
}
// Normalises in place and returns the length it had (0 leaves v at zero).
inline float Normalize(Vector3& v) {
    const float len = Length(v);
    v = NormalizedCopy(v);
    return v.IsZero() ? 0.0f : len;
}
inline Vector3 Lerp(const Vector3& a, const Vector3& b, float t) { return a * (1.0f - t) + b * t; }
// Rotates v about a unit axis by angle radians.
inline Vector3 RotateAboutAxis(const Vector3& v, const Vector3& axis, float angle) {
    const Vector3 proj = axis * Dot(v, axis);
    const Vector3 perp = v - proj;
    return perp * Cos(angle) + Cross(axis, perp) * Sin(angle) + proj;
}

// ---- frames --------------------------------------------------------------
// Point expressed in the frame's axes (exact for orthonormal frames).
inline Vector3 ToFrameLocal(const Vector3& point, const FrameMatrix& frame) {
    const Vector3 d = point - frame.pos;
    return {Dot(d, frame.right), Dot(d, frame.up), Dot(d, frame.at)};
}
inline Vector3 ToFrameWorld(const Vector3& local, const FrameMatrix& frame) {
    return frame.pos + frame.right * local.x + frame.up * local.y + frame.at * local.z;
}
// Row vector times frame, plus pos.
inline Vector3 TransformPoint(const Vector3& point, const FrameMatrix& frame) {
    return ToFrameWorld(point, frame);
}
// Direction times the frame's rotation rows (no translation).
inline Vector3 TransformVector(const Vector3& v, const FrameMatrix& frame) {
    return frame.right * v.x + frame.up * v.y + frame.at * v.z;
}
// Through the full inverse, so scaled frames work too; a singular frame falls
// back to ToFrameLocal rather than dividing by zero.
Vector3 InverseTransformPoint(const Vector3& point, const FrameMatrix& frame);
// a then b: the frame of a child (a, local) under a parent (b, world).
inline FrameMatrix Multiply(const FrameMatrix& a, const FrameMatrix& b) {
    FrameMatrix r;
    r.right = TransformVector(a.right, b);
    r.up = TransformVector(a.up, b);
    r.at = TransformVector(a.at, b);
    r.pos = TransformPoint(a.pos, b);
    r.flags = a.flags;
    return r;
}
// False, with out untouched, when the frame cannot be inverted.
bool Invert(const FrameMatrix& m, FrameMatrix& out);
// The rotation rows of Invert(WithoutTranslation(m)), without working out
// the translation nobody reads; out's pos is zero.
bool InvertRotation(const FrameMatrix& m, FrameMatrix& out);
inline FrameMatrix WithoutTranslation(FrameMatrix m) {
    m.pos = {};
    return m;
}
// Rotation about a unit axis by degrees. Replace makes m the pure rotation
// (pos zero); Local applies the rotation in m's own space and keeps pos.
void RotateFrame(FrameMatrix& m, const Vector3& axis, float degrees, Combine mode);
// Scales the rotation rows of m in its local space (pos kept).
void ScaleFrame(FrameMatrix& m, const Vector3& scale);
// Orthonormal basis with one axis along dir (mode 0: right, 1: up, 2: at) and
// its roll fixed by refAxis; zero rows when dir is parallel to refAxis.
inline FrameMatrix BasisFromDirection(const Vector3& dir, const Vector3& refAxis, int mode) {
    const Vector3 p = NormalizedCopy(Cross(refAxis, dir));
    const Vector3 q = NormalizedCopy(Cross(p, dir));
    FrameMatrix m;
    m.pos = {};
    m.flags = 0;
    switch (mode) {
        case 1: m.right = p; m.up = dir; m.at = q; break;
        case 2: m.right = p; m.up = q; m.at = dir; break;
        default: m.right = dir; m.up = q; m.at = p; break;
    }
    return m;
}

// ---- quaternions ---------------------------------------------------------
inline Quaternion Conjugate(const Quaternion& q) { return {-q.x, -q.y, -q.z, q.w}; }
// Hamilton product: the rotation of b applied first, then a's.
inline Quaternion Multiply(const Quaternion& a, const Quaternion& b) {
    return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
            a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
            a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w,
            a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}
inline float Dot(const Quaternion& a, const Quaternion& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w;
}
// Unit copy; identity when q has no length to scale.
inline Quaternion Normalized(const Quaternion& q) {
    const float lenSq = Dot(q, q);
    if (!(lenSq > kTinySquared) || !IsFinite(lenSq)) return Quaternion::Identity();
    const float inv = 1.0f / Sqrt(lenSq);
    return {q.x * inv, q.y * inv, q.z * inv, q.w * inv};
}
// Spherical interpolation along the shorter arc; t outside 0..1 is clamped.
Quaternion Slerp(const Quaternion& from, const Quaternion& to, float t);
// The same blend round the other side: through more than half a turn.
Quaternion SlerpLongWay(const Quaternion& from, const Quaternion& to, float t);
inline Quaternion AxisAngle(const Vector3& axis, float degrees) {
    const Vector3 n = NormalizedCopy(axis);
    if (n.IsZero()) return Quaternion::Identity();
    const float half = 0.5f * degrees * kDegToRad;
    const float s = Sin(half);
    return {n.x * s, n.y * s, n.z * s, Cos(half)};
}
inline void RotateQuaternion(Quaternion& q, const Vector3& axis, float degrees, Combine mode) {
    const Quaternion r = AxisAngle(axis, degrees);
    q = mode == Combine::Replace ? r : Normalized(Multiply(q, r));
}
// RotateQuaternion with Combine::Local by a turn AxisAngle gave already, for
// turns by a constant angle.
inline void TurnLocally(Quaternion& q, const Quaternion& turn) { q = Normalized(Multiply(q, turn)); }
Quaternion MatrixToQuaternion(const FrameMatrix& m);
inline Vector3 RotateVector(const Quaternion& q, const Vector3& v) {
    const Vector3 qv{q.x, q.y, q.z};
    const Vector3 t = Cross(qv, v) * 2.0f;
    return v + t * q.w + Cross(qv, t);
}
// Rotation rows of q (right = image of X, up = image of Y, at = image of Z):
// RotateVector of the three axes with its products with 0 and 1 left out,
// the same to the last bit (signs of zero aside) at a third of the arithmetic.
inline FrameMatrix QuaternionToFrame(const Quaternion& q, const Vector3& pos = {}) {
    const float x2 = q.x + q.x, y2 = q.y + q.y, z2 = q.z + q.z;
    const float xx = q.x * x2, yy = q.y * y2, zz = q.z * z2;
    const float xy = q.x * y2, xz = q.x * z2, yz = q.y * z2;
    const float wx = q.w * x2, wy = q.w * y2, wz = q.w * z2;
    FrameMatrix m;
    m.right = {1.0f - (yy + zz), wz + xy, xz - wy};
    m.up = {xy - wz, 1.0f - (xx + zz), wx + yz};
    m.at = {wy + xz, yz - wx, 1.0f - (xx + yy)};
    m.pos = pos;
    return m;
}
// Keeps q's swing and drops its rotation about axis.
inline Quaternion RemoveTwist(const Quaternion& q, const Vector3& axis) {
    const Vector3 n = NormalizedCopy(axis);
    const Vector3 proj = n * Dot(Vector3{q.x, q.y, q.z}, n);
    const Quaternion rawTwist{proj.x, proj.y, proj.z, q.w};
    // A half turn of pure swing has no twist part to take out.
    if (!(Dot(rawTwist, rawTwist) > kTinySquared)) return Normalized(q);
    return Normalized(Multiply(q, Conjugate(Normalized(rawTwist))));
}

}  // namespace kovra
