#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "kovra/host/Host.h"
#include "kovra/ik/DebugSink.h"
#include "kovra/ik/Vector3.h"

namespace kovra {

// Four bytes in memory order red, green, blue, alpha: written as a 32-bit
// constant it reads 0xAABBGGRR, the host's own vertex colour layout.
struct DebugColour {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    std::uint8_t a = 0;

    constexpr DebugColour() = default;
    // Implicit on purpose: callers pass the 0xAABBGGRR constants directly.
    constexpr DebugColour(std::uint32_t packed)
        : r(static_cast<std::uint8_t>(packed & 0xffu)),
          g(static_cast<std::uint8_t>((packed >> 8) & 0xffu)),
          b(static_cast<std::uint8_t>((packed >> 16) & 0xffu)),
          a(static_cast<std::uint8_t>((packed >> 24) & 0xffu)) {}

    constexpr std::uint32_t Packed() const {
        return std::uint32_t{r} | (std::uint32_t{g} << 8) | (std::uint32_t{b} << 16) |
               (std::uint32_t{a} << 24);
    }
    constexpr bool operator==(const DebugColour&) const = default;
};

inline constexpr std::uint32_t kDebugRed = 0xff0000ffu;
inline constexpr std::uint32_t kDebugGreen = 0xff00ff00u;
inline constexpr std::uint32_t kDebugBlue = 0xffff0000u;
inline constexpr std::uint32_t kDebugYellow = 0xff00ffffu;
inline constexpr std::uint32_t kDebugCyan = 0xffffff00u;

// Half-size of the cubes on chain joints and steering-rim points.
inline constexpr float kChainMarkerSize = 0.015f;

struct DebugSegment {
    Vector3 a;
    Vector3 b;
    DebugColour colourA;
    DebugColour colourB;
    float widthA = 0.0f;
    float widthB = 0.0f;
};

struct DebugTriangle {
    std::array<Vector3, 3> corners;
    DebugColour colour;
};

struct DebugQuad {
    std::array<Vector3, 4> corners;  // in order around the quad
    DebugColour colour;
};

// The per-frame queue of debug shapes: the solver and the handles add to it
// while posing, the overlay draw event draws and empties it once a frame.
// Nothing is queued while `enabled` is off, so posing with debug lines off
// neither draws nor allocates. The lists keep their capacity between frames.
class DebugDrawQueue : public DebugSink {
public:
    // Host render-state identifiers the flush saves, sets and puts back.
    static constexpr int kStateTextureRaster = 1;
    static constexpr int kStateDepthWrite = 8;
    static constexpr int kStateSourceBlend = 10;
    static constexpr int kStateDestBlend = 11;
    static constexpr int kStateVertexAlpha = 12;
    static constexpr int kStateCullMode = 20;
    static constexpr std::uint32_t kCullNone = 1;
    static constexpr std::uint32_t kCullFront = 3;
    static constexpr std::uint32_t kBlendSourceAlpha = 5;
    static constexpr std::uint32_t kBlendInverseSourceAlpha = 6;
    // Past this many records a list takes no more until the next flush, so a
    // queue nobody flushes cannot grow without end.
    static constexpr std::size_t kMaxRecords = 16384;

    explicit DebugDrawQueue(Host& host) : host_(host) {}
    DebugDrawQueue(const DebugDrawQueue&) = delete;
    DebugDrawQueue& operator=(const DebugDrawQueue&) = delete;

    // The menu's "DebugLines:" switch; off at start-up.
    bool enabled = false;

    // An axis-aligned cube of half-size `size` around point, as six quads.
    void DrawMarker(const Vector3& point, DebugColour colour, float size);
    // One segment with the same colour and width at both ends; a width above
    // zero also draws a box of that width around it.
    void DrawSegment(const Vector3& a, const Vector3& b, float width, DebugColour colour);
    // A marker on every joint and a thin segment from each joint to the next.
    void DrawChain(std::span<const Vector3> joints, std::uint32_t colour) override;
    // A shaft of half the width over the first 80 % and a full-width head,
    // turned to face the camera.
    void DrawArrow(const Vector3& from, const Vector3& to, float width, DebugColour colour);
    void AddTriangle(const Vector3& a, const Vector3& b, const Vector3& c, DebugColour colour);
    void AddQuad(const Vector3& a, const Vector3& b, const Vector3& c, const Vector3& d,
                 DebugColour colour);

    // Draws everything queued with alpha-blended, untextured drawing, puts the
    // host's render states back and empties the queue. Called once a frame
    // from the overlay draw event.
    void FlushDebugDraw();

    // Drops everything queued without drawing it.
    void Clear();

    const std::vector<DebugSegment>& segments() const { return segments_; }
    const std::vector<DebugTriangle>& triangles() const { return triangles_; }
    const std::vector<DebugQuad>& quads() const { return quads_; }

private:
    void FlushSegments();
    void FlushTriangles();
    void FlushQuads();

    Host& host_;
    std::vector<DebugSegment> segments_;
    std::vector<DebugTriangle> triangles_;
    std::vector<DebugQuad> quads_;
};

}  // namespace kovra
