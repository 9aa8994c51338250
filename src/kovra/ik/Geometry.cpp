#include "kovra/ik/Geometry.h"

namespace kovra {

Vector3 InverseTransformPoint(const Vector3& point, const FrameMatrix& frame) {
    FrameMatrix inverse;
    if (!Invert(frame, inverse)) return ToFrameLocal(point, frame);
    return TransformPoint(point, inverse);
}

namespace {

// Rows r, u, a form the 3x3 block M; its inverse is adj(M)/det, where the
// columns of the inverse are the cross products of pairs of rows. False when
// M is singular or the inverse is not finite.
bool InvertRows(const FrameMatrix& m, FrameMatrix& r) {
    const Vector3 c0 = Cross(m.up, m.at);
    const Vector3 c1 = Cross(m.at, m.right);
    const Vector3 c2 = Cross(m.right, m.up);
    const float det = Dot(m.right, c0);
    if (!IsFinite(det) || std::fabs(det) < 1e-12f) return false;
    const float inv = 1.0f / det;
    r.right = Vector3{c0.x, c1.x, c2.x} * inv;
    r.up = Vector3{c0.y, c1.y, c2.y} * inv;
    r.at = Vector3{c0.z, c1.z, c2.z} * inv;
    r.flags = m.flags;
    return IsFinite(r.right) && IsFinite(r.up) && IsFinite(r.at);
}

}  // namespace

bool Invert(const FrameMatrix& m, FrameMatrix& out) {
    FrameMatrix r;
    if (!InvertRows(m, r)) return false;
    r.pos = -TransformVector(m.pos, r);
    if (!IsFinite(r.pos)) return false;
    out = r;
    return true;
}

bool InvertRotation(const FrameMatrix& m, FrameMatrix& out) {
    FrameMatrix r;
    if (!InvertRows(m, r)) return false;
    r.pos = {};
    out = r;
    return true;
}

void RotateFrame(FrameMatrix& m, const Vector3& axis, float degrees, Combine mode) {
    const FrameMatrix rotation = QuaternionToFrame(AxisAngle(axis, degrees));
    if (mode == Combine::Replace) {
        const std::uint32_t flags = m.flags;
        m = rotation;
        m.flags = flags;
        return;
    }
    const Vector3 pos = m.pos;
    m = Multiply(rotation, m);
    m.pos = pos;
}

void ScaleFrame(FrameMatrix& m, const Vector3& scale) {
    m.right *= scale.x;
    m.up *= scale.y;
    m.at *= scale.z;
}

namespace {

// The blend along the great arc from `from` to `target` as signed.
Quaternion SlerpAsSigned(const Quaternion& from, const Quaternion& target, float t) {
    const float cosTheta = Dot(from, target);
    float a = 1.0f - t;
    float b = t;
    if (cosTheta < 0.9995f) {
        const float theta = Acos(cosTheta);
        const float sinTheta = Sin(theta);
        a = Sin((1.0f - t) * theta) / sinTheta;
        b = Sin(t * theta) / sinTheta;
    }
    return Normalized({from.x * a + target.x * b, from.y * a + target.y * b,
                       from.z * a + target.z * b, from.w * a + target.w * b});
}

Quaternion Negated(const Quaternion& q) { return {-q.x, -q.y, -q.z, -q.w}; }

}  // namespace

Quaternion Slerp(const Quaternion& from, const Quaternion& to, float t) {
    t = Clamp(t, 0.0f, 1.0f);
    return SlerpAsSigned(from, Dot(from, to) < 0.0f ? Negated(to) : to, t);
}

Quaternion SlerpLongWay(const Quaternion& from, const Quaternion& to, float t) {
    t = Clamp(t, 0.0f, 1.0f);
    const Quaternion target = Dot(from, to) < 0.0f ? to : Negated(to);
    // A full turn round (the two the same rotation) has no side to take.
    if (Dot(from, target) < -0.9995f) return Slerp(from, to, t);
    return SlerpAsSigned(from, target, t);
}

Quaternion MatrixToQuaternion(const FrameMatrix& m) {
    const Vector3& r = m.right;
    const Vector3& u = m.up;
    const Vector3& a = m.at;
    Quaternion q;
    const float trace = r.x + u.y + a.z;
    if (trace > 0.0f) {
        const float s = 2.0f * Sqrt(trace + 1.0f);
        q = {(u.z - a.y) / s, (a.x - r.z) / s, (r.y - u.x) / s, s / 4.0f};
    } else if (r.x > u.y && r.x > a.z) {
        const float s = 2.0f * Sqrt(r.x + 1.0f - u.y - a.z);
        if (s == 0.0f) return Quaternion::Identity();
        q = {s / 4.0f, (u.x + r.y) / s, (a.x + r.z) / s, (u.z - a.y) / s};
    } else if (u.y > a.z) {
        const float s = 2.0f * Sqrt(u.y + 1.0f - r.x - a.z);
        if (s == 0.0f) return Quaternion::Identity();
        q = {(r.y + u.x) / s, s / 4.0f, (a.y + u.z) / s, (a.x - r.z) / s};
    } else {
        const float s = 2.0f * Sqrt(a.z + 1.0f - r.x - u.y);
        if (s == 0.0f) return Quaternion::Identity();
        q = {(r.z + a.x) / s, (a.y + u.z) / s, s / 4.0f, (r.y - u.x) / s};
    }
    return Normalized(q);
}

}  // namespace kovra
