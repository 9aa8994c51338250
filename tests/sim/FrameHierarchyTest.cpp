#include "sim/FrameHierarchy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "kovra/ik/Geometry.h"
#include "sim/SimHost.h"

namespace kovra::sim {
namespace {

void ExpectMatrixNear(const FrameMatrix& a, const FrameMatrix& b, float tol = 1e-5f) {
    for (auto [x, y] : {std::pair{a.right, b.right}, {a.up, b.up}, {a.at, b.at}, {a.pos, b.pos}}) {
        EXPECT_NEAR(x.x, y.x, tol);
        EXPECT_NEAR(x.y, y.y, tol);
        EXPECT_NEAR(x.z, y.z, tol);
    }
}

FrameMatrix Turned(const Vector3& axis, float degrees, const Vector3& pos) {
    FrameMatrix m;
    RotateFrame(m, NormalizedCopy(axis), degrees, Combine::Replace);
    m.pos = pos;
    return m;
}

// root: a (b, d), c
VehicleModel NestedModel() {
    VehicleModel m;
    m.id = 900;
    m.name = "nested";
    m.frames = {
        {"a", -1, Turned({0, 0, 1}, 30.0f, {1, 0, 0}), {}, {}},
        {"b", 0, Turned({1, 0, 0}, -45.0f, {0, 0.5f, 0.2f}),
         {{0.1f, 0, 0}, {0, 0.2f, 0}, {0, 0, -0.3f}}, {}},
        {"c", -1, Turned({0, 1, 0}, 10.0f, {0, 2, 0}), {}, {}},
        {"d", 0, Turned({0, 0, 1}, 90.0f, {0, -1, 0}), {}, {}},
    };
    return m;
}

std::vector<std::string> Children(SimHost& host, HostFrame* frame) {
    std::vector<std::string> names;
    for (HostFrame* f = host.FrameFirstChild(frame); f; f = host.FrameNextSibling(f)) {
        names.push_back(host.FrameName(f));
    }
    return names;
}

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(host.AddVehicleModel(MakeSedanModel()));
        ASSERT_TRUE(host.AddVehicleModel(MakeMotorbikeModel()));
        ASSERT_TRUE(host.AddVehicleModel(NestedModel()));
    }
    SimHost host;
    const FrameMatrix body = Turned({0.2f, 0.1f, 1.0f}, 70.0f, {100.0f, -40.0f, 12.0f});
};

TEST_F(FrameTest, ChildOrderFollowsTheModelList) {
    CVehicle* sedan = host.CreateVehicle(400, body);
    EXPECT_EQ(Children(host, host.VehicleRootFrame(sedan)),
              (std::vector<std::string>{"ik_steer", "ik_gear_stick", "ik_hand_brake", "ik_gas",
                                        "ik_brake", "ik_clutch"}));
    CVehicle* nested = host.CreateVehicle(900, body);
    HostFrame* root = host.VehicleRootFrame(nested);
    EXPECT_EQ(Children(host, root), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(Children(host, host.FrameFirstChild(root)), (std::vector<std::string>{"b", "d"}));
}

TEST_F(FrameTest, WorldIsModellingTimesParentWorldAndFollowsRewrites) {
    CVehicle* v = host.CreateVehicle(900, body);
    HostFrame* a = host.FindFrame(v, "a");
    HostFrame* b = host.FindFrame(v, "b");
    const VehicleModel& m = *host.Model(900);
    ExpectMatrixNear(*host.FrameWorld(b),
                     Multiply(m.frames[1].modelling, Multiply(m.frames[0].modelling, body)));

    // Rewrite the parent's modelling matrix and update it, as a handle does.
    RotateFrame(*host.FrameModelling(a), AxisX, 25.0f, Combine::Local);
    host.UpdateFrame(a);
    const FrameMatrix expected =
        Multiply(*host.FrameModelling(b), Multiply(*host.FrameModelling(a), body));
    ExpectMatrixNear(b->world, expected);  // the update refreshed the subtree's cached matrices
    ExpectMatrixNear(*host.FrameWorld(b), expected);

    // The body moves: every frame follows.
    host.VehicleMatrix(v)->pos += Vector3{0.0f, 5.0f, 0.0f};
    EXPECT_NEAR(host.FrameWorld(b)->pos.y, expected.pos.y + 5.0f, 1e-4f);
}

TEST_F(FrameTest, RenderablesCarryTheModelVertices) {
    CVehicle* v = host.CreateVehicle(900);
    HostRenderable* r = host.FrameRenderable(host.FindFrame(v, "b"));
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(host.RenderableVertexCount(r), 3);
    EXPECT_EQ(host.RenderableVertices(r)[2], (Vector3{0, 0, -0.3f}));
    EXPECT_EQ(host.FrameRenderable(host.FindFrame(v, "a")), nullptr);
    EXPECT_EQ(host.RenderableVertexCount(nullptr), 0);

    // The steering wheel's box is rim-sized: the grip offset comes from it.
    CVehicle* sedan = host.CreateVehicle(400);
    HostRenderable* rim = host.FrameRenderable(host.FindFrame(sedan, "ik_steer"));
    float maxX = 0.0f;
    for (int i = 0; i < host.RenderableVertexCount(rim); ++i)
        maxX = std::max(maxX, host.RenderableVertices(rim)[i].x);
    EXPECT_NEAR(maxX, 0.19f, 1e-6f);
}

TEST_F(FrameTest, SedanControlsSitAroundTheDriver) {
    CVehicle* v = host.CreateVehicle(400);
    const Vector3 seat = host.ModelFrontSeat(400);
    const Vector3 pelvis{-seat.x, seat.y, seat.z};
    const FrameMatrix& wheel = *host.FrameWorld(host.FindFrame(v, "ik_steer"));
    EXPECT_NEAR(wheel.pos.x, pelvis.x, 1e-6f);
    EXPECT_NEAR(wheel.pos.y - pelvis.y, 0.45f, 1e-6f);
    EXPECT_NEAR(wheel.pos.z - pelvis.z, 0.30f, 1e-6f);
    EXPECT_NEAR(std::acos(wheel.at.z) * kRadToDeg, 20.0f, 1e-3f) << "tilted back";
    EXPECT_GT(wheel.at.y, 0.0f) << "top of the rim leans away from the driver";
}

TEST_F(FrameTest, BikesExposeBodyAndSteeringFrames) {
    CVehicle* bike = host.CreateVehicle(461);
    CBike* b = host.AsBike(bike);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(host.BikeVehicle(b), bike);
    EXPECT_STREQ(host.FrameName(host.BikeBodyFrame(bike)), "chassis");
    EXPECT_STREQ(host.FrameName(host.BikeSteeringFrame(bike)), "forks_front");
    EXPECT_NE(host.ModelHandlebarPosition(461), Vector3{});

    host.SetBikeDrawnBarAngle(b, 0.3f);
    host.SetBikeDrawnBarAngle(b, NAN);
    EXPECT_EQ(b->drawnBarAngle, 0.3f);
    EXPECT_EQ(b->drawnBarAngleWrites, 1);

    // Turning the bars spins the steering node about its own z axis.
    HostFrame* forks = host.BikeSteeringFrame(bike);
    const FrameMatrix rest = *host.FrameModelling(forks);
    host.TurnBikeSteering(bike, 0.5f);
    const FrameMatrix& turned = *host.FrameModelling(forks);
    EXPECT_NEAR(Dot(turned.at, rest.at), 1.0f, 1e-5f);
    EXPECT_NEAR(Dot(turned.right, rest.right), std::cos(0.5f), 1e-5f);
    EXPECT_EQ(turned.pos, rest.pos);

    CVehicle* car = host.CreateVehicle(400);
    EXPECT_EQ(host.AsBike(car), nullptr);
    EXPECT_EQ(host.BikeBodyFrame(car), nullptr);
    EXPECT_EQ(host.BikeSteeringFrame(car), nullptr);
    host.DestroyVehicle(bike);
    EXPECT_EQ(host.BikeVehicle(b), nullptr) << "a stale bike is not found";
    CVehicle* again = host.CreateVehicle(461);
    EXPECT_EQ(host.BikeVehicle(host.AsBike(again)), again);
}

// Whole turns drop out of the bar angle, so even the largest float gives a
// finite steering node (and so finite fork and handlebar frames).
TEST_F(FrameTest, BikeSteeringStaysFiniteForAnyAngle) {
    CVehicle* bike = host.CreateVehicle(461);
    HostFrame* forks = host.BikeSteeringFrame(bike);
    const FrameMatrix rest = *host.FrameModelling(forks);
    host.TurnBikeSteering(bike, 0.5f + 4.0f * 3.14159265f);
    EXPECT_NEAR(Dot(host.FrameModelling(forks)->right, rest.right), std::cos(0.5f), 1e-4f);
    for (float angle : {3.4e38f, -3.4e38f, 1e20f, -7e5f}) {
        host.TurnBikeSteering(bike, angle);
        const FrameMatrix& m = *host.FrameModelling(forks);
        EXPECT_TRUE(IsFinite(m)) << angle;
        EXPECT_NEAR(Length(m.right), 1.0f, 1e-5f) << angle;
        EXPECT_TRUE(IsFinite(*host.FrameWorld(host.FindFrame(bike, "handlebars")))) << angle;
    }
    bike->state.barAngle = 3.4e38f;  // the game's own choice, drawn each frame
    host.RunFrame();
    EXPECT_TRUE(IsFinite(*host.FrameModelling(forks)));
}

TEST_F(FrameTest, InvalidModelsAreRefusedWithAReason) {
    std::string error;
    VehicleModel backwards = NestedModel();
    backwards.frames[0].parent = 2;  // parent after its child: a cycle waiting to happen
    EXPECT_FALSE(host.AddVehicleModel(backwards, &error));
    EXPECT_NE(error.find("\"a\""), std::string::npos) << error;

    VehicleModel nan = MakeSedanModel(401);
    nan.frames[3].vertices[0].y = NAN;
    EXPECT_FALSE(host.AddVehicleModel(nan, &error));
    EXPECT_FALSE(host.AddVehicleModel(MakeSedanModel(-5), &error));
    EXPECT_FALSE(host.HasVehicleModel(401));
    EXPECT_EQ(host.CreateVehicle(401), nullptr);
    EXPECT_EQ(host.ModelVehicleType(401), -1);
    EXPECT_STREQ(host.ModelName(401), "");

    FrameMatrix bad;
    bad.pos.x = INFINITY;
    EXPECT_EQ(host.CreateVehicle(400, bad), nullptr);
    host.SetModelFrontSeat(400, {NAN, 0, 0});
    EXPECT_TRUE(IsFinite(host.ModelFrontSeat(400)));
}

}  // namespace
}  // namespace kovra::sim
