#include "kovra/ik/DebugDrawQueue.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <set>
#include <vector>

#include "AllocationCounter.h"
#include "kovra/host/Runtime.h"
#include "kovra/ik/BoneAccess.h"
#include "kovra/ik/Geometry.h"
#include "sim/SimHost.h"

namespace kovra {
namespace {

// Records render-state writes and the states each draw call ran under, and
// refuses chosen draw calls (counted from 1 across lines and triangles).
class RecordingHost : public sim::SimHost {
public:
    void SetRenderState(int state, std::uint32_t value) override {
        ++stateWrites;
        SimHost::SetRenderState(state, value);
    }
    bool DrawLines(std::span<const LineVertex> v) override {
        return Record() && SimHost::DrawLines(v);
    }
    bool DrawTriangles(std::span<const LineVertex> v) override {
        return Record() && SimHost::DrawTriangles(v);
    }
    bool Record() {
        std::array<std::uint32_t, 6> states;
        for (std::size_t i = 0; i < states.size(); ++i) states[i] = RenderState(kStates[i]);
        statesAtDraw.push_back(states);
        return refused.count(++drawCalls) == 0;
    }

    static constexpr std::array<int, 6> kStates{8, 12, 10, 11, 1, 20};
    int stateWrites = 0;
    int drawCalls = 0;
    std::set<int> refused;
    std::vector<std::array<std::uint32_t, 6>> statesAtDraw;
};

class DebugDrawQueueTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int s : RecordingHost::kStates) host.SimHost::SetRenderState(s, 700u + unsigned(s));
        queue.enabled = true;
    }
    void ExpectStatesRestored() {
        for (int s : RecordingHost::kStates) EXPECT_EQ(host.RenderState(s), 700u + unsigned(s)) << s;
    }

    RecordingHost host;
    DebugDrawQueue queue{host};
};

TEST_F(DebugDrawQueueTest, SwitchedOffQueuesNothingAndFlushTouchesNoState) {
    EXPECT_EQ(DebugColour(kDebugRed).r, 0xff);  // 0xAABBGGRR
    EXPECT_EQ(DebugColour(kDebugBlue).b, 0xff);
    EXPECT_EQ(DebugColour(0x80402010u).Packed(), 0x80402010u);

    queue.enabled = false;
    const std::array<Vector3, 3> joints{Vector3{0, 0, 0}, Vector3{0, 0, 1}, Vector3{1, 0, 1}};
    queue.DrawMarker({1, 2, 3}, kDebugRed, 0.1f);
    queue.DrawSegment({0, 0, 0}, {1, 0, 0}, 0.1f, kDebugRed);
    queue.DrawChain(joints, kDebugRed);
    queue.DrawArrow({0, 0, 0}, {1, 0, 0}, 0.1f, kDebugRed);
    queue.FlushDebugDraw();
    EXPECT_EQ(host.stateWrites, 0);
    EXPECT_EQ(host.drawCalls, 0);
}

TEST_F(DebugDrawQueueTest, ChainOfThreeJointsIsThreeCubesAndTwoLines) {
    const std::array<Vector3, 3> joints{Vector3{1, 2, 3}, Vector3{1.3f, 2, 3.1f},
                                        Vector3{1.5f, 2.4f, 3.1f}};
    queue.DrawChain(joints, kDebugRed);
    queue.FlushDebugDraw();

    ASSERT_EQ(host.drawnLines.size(), 4u);  // thin: no boxes
    EXPECT_EQ(host.drawnLines[0].pos, joints[0]);
    EXPECT_EQ(host.drawnLines[3].pos, joints[2]);
    // Every cube corner sits 0.015 off its joint on each axis.
    ASSERT_EQ(host.drawnTriangles.size(), 3u * 6u * 2u * 3u);
    std::array<int, 3> perJoint{};
    for (const LineVertex& v : host.drawnTriangles) {
        EXPECT_EQ(v.colour, kDebugRed);
        for (std::size_t j = 0; j < 3; ++j) {
            const Vector3 d = v.pos - joints[j];
            perJoint[j] += std::fabs(std::fabs(d.x) - 0.015f) < 1e-5f &&
                           std::fabs(std::fabs(d.y) - 0.015f) < 1e-5f &&
                           std::fabs(std::fabs(d.z) - 0.015f) < 1e-5f;
        }
    }
    EXPECT_EQ(perJoint, (std::array<int, 3>{36, 36, 36}));

    // Emptied: the next flush draws nothing and touches no state.
    const int writes = host.stateWrites;
    queue.FlushDebugDraw();
    EXPECT_EQ(host.drawnLines.size(), 4u);
    EXPECT_EQ(host.stateWrites, writes);
}

TEST_F(DebugDrawQueueTest, WideSegmentsGetAWellFormedBoxAtAnyAngle) {
    const Vector3 a{2, 1, 0};
    for (const Vector3& b : {Vector3{2, 1, 1}, Vector3{2.05f, 1, 0.5f}, Vector3{2, 1, -0.7f},
                             Vector3{3, 1.5f, 0.2f}}) {
        host.drawnTriangles.clear();
        queue.DrawSegment(a, b, 0.02f, kDebugGreen);
        queue.FlushDebugDraw();
        ASSERT_EQ(host.drawnTriangles.size(), 36u) << b.z;
        std::set<std::array<float, 3>> corners;
        for (std::size_t i = 0; i < 36; i += 3) {
            const Vector3& p0 = host.drawnTriangles[i].pos;
            EXPECT_GT(Length(Cross(host.drawnTriangles[i + 1].pos - p0,
                                   host.drawnTriangles[i + 2].pos - p0)),
                      1e-5f);
        }
        const Vector3 axis = NormalizedCopy(b - a);
        for (const LineVertex& v : host.drawnTriangles) {
            // Half a width off the axis on two perpendicular sides.
            const Vector3 off = v.pos - a;
            EXPECT_NEAR(Length(off - axis * Dot(off, axis)), std::sqrt(2.0f) * 0.01f, 1e-5f);
            corners.insert({v.pos.x, v.pos.y, v.pos.z});
        }
        EXPECT_EQ(corners.size(), 8u);
    }
}

TEST_F(DebugDrawQueueTest, FlushDrawsBlendedWithCullPerListAndRestoresEveryState) {
    queue.DrawSegment({0, 0, 0}, {1, 0, 0}, 0.0f, kDebugRed);
    queue.AddTriangle({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, kDebugBlue);
    queue.AddQuad({0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, kDebugGreen);
    queue.FlushDebugDraw();

    // States 8, 12, 10, 11, 1 and the cull mode, at each draw call.
    using S = std::array<std::uint32_t, 6>;
    EXPECT_EQ(host.statesAtDraw, (std::vector<S>{{1, 1, 5, 6, 0, 1}, {1, 1, 5, 6, 0, 3},
                                                 {1, 1, 5, 6, 0, 1}}));
    EXPECT_EQ(host.drawnTriangles.size(), 3u + 6u);  // the quad as two triangles
    ExpectStatesRestored();
}

TEST_F(DebugDrawQueueTest, RefusedUploadSkipsThatShapeAndTheFlushGoesOn) {
    queue.DrawSegment({0, 0, 0}, {1, 0, 0}, 0.05f, kDebugRed);   // call 1: line refused
    queue.DrawSegment({0, 0, 1}, {1, 0, 1}, 0.05f, kDebugBlue);  // 2 line, 3 box refused
    queue.AddTriangle({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, kDebugGreen);
    host.refused = {1, 3};
    queue.FlushDebugDraw();

    EXPECT_EQ(host.drawCalls, 4);  // the refused line's box was not tried
    ASSERT_EQ(host.drawnLines.size(), 2u);
    EXPECT_EQ(host.drawnLines[0].colour, kDebugBlue);
    ASSERT_EQ(host.drawnTriangles.size(), 3u);
    EXPECT_EQ(host.drawnTriangles[0].colour, kDebugGreen);
    EXPECT_TRUE(queue.segments().empty());
    ExpectStatesRestored();
}

TEST_F(DebugDrawQueueTest, ArrowsFaceTheCameraAndBadShapesAreDropped) {
    host.SetCameraPosition({0, -5, 0});
    queue.DrawArrow({0, 0, 0}, {1, 0, 0}, 0.1f, kDebugBlue);
    ASSERT_FALSE(queue.triangles().empty());
    for (const DebugTriangle& t : queue.triangles()) {
        for (const Vector3& c : t.corners) {
            EXPECT_EQ(c.y, 0.0f);
            // Half the width along the shaft, the full width at the head.
            EXPECT_LE(std::fabs(c.z), c.x < 0.79f ? 0.025f + 1e-6f : 0.05f + 1e-6f);
        }
    }
    queue.Clear();
    const float nan = std::nanf("");
    queue.DrawArrow({1, 1, 1}, {1, 1, 1}, 0.1f, kDebugBlue);
    queue.DrawMarker({nan, 0, 0}, kDebugRed, 0.1f);
    queue.DrawSegment({0, 0, 0}, {0, 0, nan}, 0.1f, kDebugRed);
    EXPECT_TRUE(queue.triangles().empty() && queue.quads().empty() && queue.segments().empty());
}

TEST(DebugDrawRuntimeTest, TheSolverDrawsThroughTheRuntimesQueueOnlyWhenSwitchedOn) {
    sim::SimHost host;
    Runtime runtime{host};
    ASSERT_TRUE(host.AddVehicleModel(sim::MakeSedanModel(400)));
    CVehicle* vehicle = host.CreateVehicle(400);
    CPed* ped = host.CreatePed();
    ASSERT_TRUE(host.SeatPed(ped, vehicle, true));
    host.AnimatePed(ped);
    Vector3 target;
    ASSERT_TRUE(BonePosition(host, ped, 24, target));
    target += Vector3{0.02f, 0.03f, 0.0f};
    LimbSolver& solver = runtime.solver();

    EXPECT_FALSE(runtime.debug().enabled);  // off at start-up
    solver.SolveLimb(ped, target, kRightHandNode, {}, 1.0f);
    EXPECT_TRUE(runtime.debug().quads().empty());

    runtime.debug().enabled = true;
    solver.SolveLimb(ped, target, kRightHandNode, {}, 1.0f);
    EXPECT_EQ(runtime.debug().segments().size(), 2u);
    EXPECT_EQ(runtime.debug().quads().size(), 18u);
    runtime.debug().FlushDebugDraw();
    EXPECT_TRUE(runtime.debug().quads().empty());

    // Later frames reuse the lists' storage.
    host.drawnLines.reserve(64);
    host.drawnTriangles.reserve(512);
    solver.SolveLimb(ped, target, kRightHandNode, {}, 1.0f);
    test::AllocationCounter allocations;
    runtime.debug().FlushDebugDraw();
    solver.SolveLimb(ped, target, kRightHandNode, {}, 1.0f);
    EXPECT_EQ(allocations.count(), 0u);
}

}  // namespace
}  // namespace kovra
