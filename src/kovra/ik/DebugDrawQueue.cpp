#include "kovra/ik/DebugDrawQueue.h"

#include <cmath>
#include <utility>

#include "kovra/ik/Geometry.h"

namespace kovra {
namespace {

// A segment closer than this to vertical takes its box basis from X instead
// of the up axis, which it would nearly be parallel to.
constexpr float kNearVertical = 0.99f;
constexpr float kArrowShaftShare = 0.8f;

LineVertex Vertex(const Vector3& pos, DebugColour colour) { return {pos, colour.Packed()}; }

// Sizes and widths are magnitudes; anything not finite counts as nothing.
float Magnitude(float v) { return IsFinite(v) ? std::fabs(v) : 0.0f; }

// Restores one render state (the cull mode around each list) when it goes
// out of scope.
class SavedState {
public:
    SavedState(Host& host, int state) : host_(host), state_(state), value_(host.RenderState(state)) {}
    SavedState(const SavedState&) = delete;
    SavedState& operator=(const SavedState&) = delete;
    ~SavedState() { host_.SetRenderState(state_, value_); }

private:
    Host& host_;
    int state_;
    std::uint32_t value_;
};

}  // namespace

void DebugDrawQueue::DrawMarker(const Vector3& point, DebugColour colour, float size) {
    if (!enabled || !IsFinite(point)) return;
    const float s = Magnitude(size);
    // Corner i has +s on x for bit 0, on y for bit 1, on z for bit 2.
    std::array<Vector3, 8> c;
    for (int i = 0; i < 8; ++i) {
        c[static_cast<std::size_t>(i)] =
            point + Vector3{(i & 1) ? s : -s, (i & 2) ? s : -s, (i & 4) ? s : -s};
    }
    AddQuad(c[0], c[2], c[6], c[4], colour);  // -x
    AddQuad(c[1], c[5], c[7], c[3], colour);  // +x
    AddQuad(c[0], c[4], c[5], c[1], colour);  // -y
    AddQuad(c[2], c[3], c[7], c[6], colour);  // +y
    AddQuad(c[0], c[1], c[3], c[2], colour);  // -z
    AddQuad(c[4], c[6], c[7], c[5], colour);  // +z
}

void DebugDrawQueue::DrawSegment(const Vector3& a, const Vector3& b, float width,
                                 DebugColour colour) {
    if (!enabled || !IsFinite(a) || !IsFinite(b) || segments_.size() >= kMaxRecords) return;
    const float w = Magnitude(width);
    segments_.push_back({a, b, colour, colour, w, w});
}

void DebugDrawQueue::DrawChain(std::span<const Vector3> joints, std::uint32_t colour) {
    if (!enabled) return;
    for (std::size_t i = 0; i < joints.size(); ++i) {
        DrawMarker(joints[i], colour, kChainMarkerSize);
        if (i + 1 < joints.size()) DrawSegment(joints[i], joints[i + 1], 0.0f, colour);
    }
}

void DebugDrawQueue::DrawArrow(const Vector3& from, const Vector3& to, float width,
                               DebugColour colour) {
    if (!enabled || !IsFinite(from) || !IsFinite(to)) return;
    Vector3 d = to - from;
    const float length = Normalize(d);
    if (!(length > 0.0f)) return;

    // Face the camera where possible; otherwise lie across the up axis.
    Vector3 side = NormalizedCopy(Cross(d, host_.CameraPosition() - from));
    if (side.IsZero()) side = NormalizedCopy(Cross(d, AxisZ));
    if (side.IsZero()) side = NormalizedCopy(Cross(d, AxisX));

    const float headHalf = 0.5f * Magnitude(width);
    const float shaftHalf = 0.5f * headHalf;
    const Vector3 neck = from + d * (kArrowShaftShare * length);
    const Vector3 s0 = from - side * shaftHalf;
    const Vector3 s1 = neck - side * shaftHalf;
    const Vector3 s2 = neck + side * shaftHalf;
    const Vector3 s3 = from + side * shaftHalf;
    const Vector3 h0 = neck - side * headHalf;
    const Vector3 h1 = neck + side * headHalf;
    // Triangles are drawn one-sided; both windings keep the arrow visible
    // from either side of its plane.
    AddTriangle(s0, s1, s2, colour);
    AddTriangle(s0, s2, s3, colour);
    AddTriangle(h0, to, h1, colour);
    AddTriangle(s2, s1, s0, colour);
    AddTriangle(s3, s2, s0, colour);
    AddTriangle(h1, to, h0, colour);
}

void DebugDrawQueue::AddTriangle(const Vector3& a, const Vector3& b, const Vector3& c,
                                 DebugColour colour) {
    if (!enabled || triangles_.size() >= kMaxRecords) return;
    if (!IsFinite(a) || !IsFinite(b) || !IsFinite(c)) return;
    triangles_.push_back({{a, b, c}, colour});
}

void DebugDrawQueue::AddQuad(const Vector3& a, const Vector3& b, const Vector3& c,
                             const Vector3& d, DebugColour colour) {
    if (!enabled || quads_.size() >= kMaxRecords) return;
    if (!IsFinite(a) || !IsFinite(b) || !IsFinite(c) || !IsFinite(d)) return;
    quads_.push_back({{a, b, c, d}, colour});
}

void DebugDrawQueue::Clear() {
    segments_.clear();
    triangles_.clear();
    quads_.clear();
}

void DebugDrawQueue::FlushDebugDraw() {
    if (segments_.empty() && triangles_.empty() && quads_.empty()) return;

    // Alpha-blended, untextured drawing that writes depth.
    const std::array<std::pair<int, std::uint32_t>, 5> drawing{{
        {kStateDepthWrite, 1u},
        {kStateVertexAlpha, 1u},
        {kStateSourceBlend, kBlendSourceAlpha},
        {kStateDestBlend, kBlendInverseSourceAlpha},
        {kStateTextureRaster, 0u},
    }};
    std::array<std::uint32_t, 5> saved{};
    for (std::size_t i = 0; i < drawing.size(); ++i) saved[i] = host_.RenderState(drawing[i].first);
    for (const auto& [state, value] : drawing) host_.SetRenderState(state, value);

    if (!segments_.empty()) FlushSegments();
    if (!triangles_.empty()) FlushTriangles();
    if (!quads_.empty()) FlushQuads();
    Clear();

    for (std::size_t i = 0; i < drawing.size(); ++i) host_.SetRenderState(drawing[i].first, saved[i]);
}

void DebugDrawQueue::FlushSegments() {
    const SavedState cull(host_, kStateCullMode);
    host_.SetRenderState(kStateCullMode, kCullNone);
    for (const DebugSegment& s : segments_) {
        const std::array<LineVertex, 2> line{Vertex(s.a, s.colourA), Vertex(s.b, s.colourB)};
        if (!host_.DrawLines(line)) continue;  // refused: skip this segment only
        if (!(s.widthA > 0.0f) && !(s.widthB > 0.0f)) continue;

        const Vector3 dir = NormalizedCopy(s.b - s.a);
        if (dir.IsZero()) continue;  // no axis to build a box around
        const Vector3 ref = std::fabs(dir.z) > kNearVertical ? AxisX : AxisZ;
        const Vector3 side = NormalizedCopy(Cross(dir, ref));
        const Vector3 up = Cross(side, dir);

        // Corners 0-3 around end a, 4-7 around end b, in the same order.
        const float ha = 0.5f * s.widthA;
        const float hb = 0.5f * s.widthB;
        const std::array<Vector3, 4> around{-side - up, side - up, side + up, -side + up};
        std::array<LineVertex, 8> c;
        for (std::size_t k = 0; k < 4; ++k) {
            c[k] = Vertex(s.a + around[k] * ha, s.colourA);
            c[k + 4] = Vertex(s.b + around[k] * hb, s.colourB);
        }
        std::array<LineVertex, 36> box;
        std::size_t n = 0;
        const auto face = [&](std::size_t i0, std::size_t i1, std::size_t i2, std::size_t i3) {
            box[n++] = c[i0];
            box[n++] = c[i1];
            box[n++] = c[i2];
            box[n++] = c[i0];
            box[n++] = c[i2];
            box[n++] = c[i3];
        };
        face(0, 3, 2, 1);  // cap at a
        face(4, 5, 6, 7);  // cap at b
        for (std::size_t k = 0; k < 4; ++k) face(k, (k + 1) % 4, (k + 1) % 4 + 4, k + 4);
        host_.DrawTriangles(box);
    }
}

void DebugDrawQueue::FlushTriangles() {
    const SavedState cull(host_, kStateCullMode);
    host_.SetRenderState(kStateCullMode, kCullFront);
    for (const DebugTriangle& t : triangles_) {
        const std::uint32_t colour = t.colour.Packed();
        const std::array<LineVertex, 3> v{LineVertex{t.corners[0], colour},
                                          LineVertex{t.corners[1], colour},
                                          LineVertex{t.corners[2], colour}};
        host_.DrawTriangles(v);  // a refused triangle is simply not drawn
    }
}

void DebugDrawQueue::FlushQuads() {
    const SavedState cull(host_, kStateCullMode);
    host_.SetRenderState(kStateCullMode, kCullNone);
    for (const DebugQuad& q : quads_) {
        const std::uint32_t colour = q.colour.Packed();
        const auto v = [&](std::size_t i) { return LineVertex{q.corners[i], colour}; };
        const std::array<LineVertex, 6> tris{v(0), v(1), v(2), v(0), v(2), v(3)};
        host_.DrawTriangles(tris);
    }
}

}  // namespace kovra
