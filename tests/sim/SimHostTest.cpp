#include "sim/SimHost.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "kovra/ik/Geometry.h"
#include "sim/HostText.h"

namespace kovra::sim {
namespace {

void ExpectNear(const Vector3& a, const Vector3& b, float tol = 1e-5f) {
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}

class HostTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(host.AddVehicleModel(MakeSedanModel()));
        ASSERT_TRUE(host.AddVehicleModel(MakeMotorbikeModel()));
    }
    SimHost host{4, 3};
};

TEST_F(HostTest, PoolsHandOutLowestFreeSlotsAndKnowTheirOwn) {
    CVehicle* v[4];
    for (int i = 0; i < 4; ++i) {
        v[i] = host.CreateVehicle(400);
        ASSERT_NE(v[i], nullptr);
        EXPECT_EQ(host.VehicleSlot(v[i]), i);
        EXPECT_EQ(host.VehicleInSlot(i), v[i]);
    }
    EXPECT_EQ(host.CreateVehicle(400), nullptr) << "pool full";
    const int oldHandle = host.VehicleScriptHandle(v[1]);

    EXPECT_EQ(host.VehicleSlot(v[1]), 1);
    EXPECT_TRUE(host.DestroyVehicle(v[1]));
    EXPECT_EQ(host.VehicleSlot(v[1]), -1) << "the slot last looked up is forgotten with its vehicle";
    EXPECT_FALSE(host.DestroyVehicle(v[1])) << "already gone";
    EXPECT_EQ(host.VehicleInSlot(1), nullptr);
    EXPECT_EQ(host.VehicleCount(), 3);
    CVehicle* reused = host.CreateVehicle(461);
    EXPECT_EQ(host.VehicleSlot(reused), 1);
    EXPECT_NE(host.VehicleScriptHandle(reused), oldHandle) << "a reused slot gets a new handle";
    EXPECT_EQ(host.VehiclePoolCapacity(), 4);
    for (int slot : {-1, 4, 1000}) EXPECT_EQ(host.VehicleInSlot(slot), nullptr);

    SimHost other;
    ASSERT_TRUE(other.AddVehicleModel(MakeSedanModel()));
    CVehicle* foreign = other.CreateVehicle(400);
    EXPECT_EQ(host.VehicleSlot(foreign), -1);
    EXPECT_EQ(host.VehicleSlot(nullptr), -1);
    EXPECT_EQ(host.VehicleScriptHandle(foreign), -1);
    EXPECT_EQ(host.PedSlot(other.CreatePed()), -1);

    CPed* p0 = host.CreatePed();
    CPed* p1 = host.CreatePed();
    CPed* p2 = host.CreatePed();
    EXPECT_EQ(host.CreatePed(), nullptr);
    EXPECT_TRUE(host.DestroyPed(p0));
    EXPECT_EQ(host.PedSlot(host.CreatePed()), 0);
    EXPECT_EQ(host.PedSlot(p2), 2);
    EXPECT_EQ(host.PedInSlot(1), p1);
}

TEST_F(HostTest, DriverSitsAtTheMirroredFrontSeat) {
    FrameMatrix body;
    RotateFrame(body, AxisZ, 90.0f, Combine::Replace);
    body.pos = {10.0f, 20.0f, 1.0f};
    CVehicle* car = host.CreateVehicle(400, body);
    CPed* driver = host.CreatePed();
    CPed* passenger = host.CreatePed();
    ASSERT_TRUE(host.SeatPed(driver, car, true));
    ASSERT_TRUE(host.SeatPed(passenger, car, false));

    const Vector3 seat = host.ModelFrontSeat(400);
    ASSERT_GT(seat.x, 0.0f);
    ExpectNear(host.PedMatrix(driver)->pos, TransformPoint({-seat.x, seat.y, seat.z}, body));
    ExpectNear(host.PedMatrix(driver)->right, body.right);
    ExpectNear(host.PedMatrix(passenger)->pos, TransformPoint(seat, body));
    // The skeleton follows at once: the pelvis is on the seat.
    ExpectNear(host.BoneMatrix(driver, host.BoneHierarchyIndex(driver, kPelvisBone))->pos,
               host.PedMatrix(driver)->pos);

    EXPECT_EQ(host.VehicleDriver(car), driver);
    EXPECT_EQ(host.PedState(driver), kPedStateDriving);
    EXPECT_NE(host.PedState(passenger), kPedStateDriving);
    EXPECT_TRUE(host.PedInVehicle(passenger));
    EXPECT_EQ(host.PedVehicle(passenger), car);

    // A new driver takes over; the old one leaves the vehicle.
    ASSERT_TRUE(host.SeatPed(passenger, car, true));
    EXPECT_EQ(host.VehicleDriver(car), passenger);
    EXPECT_FALSE(host.PedInVehicle(driver));
    EXPECT_EQ(host.PedVehicle(driver), nullptr);
}

TEST_F(HostTest, RiderSitsOnTheBikeSeatItself) {
    VehicleModel bike = MakeMotorbikeModel(462);
    bike.frontSeat.x = 0.1f;  // off-centre, so a mirror would show
    ASSERT_TRUE(host.AddVehicleModel(bike));
    CVehicle* v = host.CreateVehicle(462);
    CPed* rider = host.CreatePed();
    ASSERT_TRUE(host.SeatPed(rider, v, true));
    ExpectNear(host.PedMatrix(rider)->pos, bike.frontSeat);

    // The seat record is live: a seat offset moves the next placement.
    host.SetModelFrontSeat(462, bike.frontSeat + Vector3{0.0f, 0.0f, 0.05f});
    host.PlaceSeatedPed(rider);
    EXPECT_NEAR(host.PedMatrix(rider)->pos.z, bike.frontSeat.z + 0.05f, 1e-6f);
}

// The game's physics moves a vehicle by its move speed each frame, and its
// seated rider with it.
TEST_F(HostTest, VehiclesMoveByTheirMoveSpeed) {
    CVehicle* bike = host.CreateVehicle(461);
    CPed* rider = host.CreatePed();
    ASSERT_TRUE(host.SeatPed(rider, bike, true));
    const Vector3 start = bike->matrix.pos;
    bike->state.moveSpeed = {0.1f, -0.2f, 0.05f};
    host.SetTimeStep(0.5f);
    for (int i = 0; i < 4; ++i) host.RunFrame();
    EXPECT_NEAR(Distance(bike->matrix.pos, start + Vector3(0.2f, -0.4f, 0.1f)), 0.0f, 1e-6f);
    EXPECT_NEAR(Distance(host.PedMatrix(rider)->pos,
                         TransformPoint(host.ModelFrontSeat(461), bike->matrix)),
                0.0f, 1e-6f);
    bike->state.moveSpeed = {NAN, 0.0f, 0.0f};
    const Vector3 before = bike->matrix.pos;
    host.RunFrame();
    EXPECT_EQ(bike->matrix.pos, before) << "a velocity that is not a number moves nothing";
}

TEST_F(HostTest, DestroyingLeavesNoDanglingLinks) {
    CVehicle* car = host.CreateVehicle(400);
    CPed* driver = host.CreatePed();
    CPed* passenger = host.CreatePed();
    host.SeatPed(driver, car, true);
    host.SeatPed(passenger, car, false);
    ASSERT_TRUE(host.SetPlayer(driver));
    EXPECT_TRUE(host.IsPlayerPed(driver));

    EXPECT_TRUE(host.DestroyPed(driver));
    EXPECT_EQ(host.VehicleDriver(car), nullptr);
    EXPECT_EQ(host.PlayerPed(), nullptr);
    EXPECT_TRUE(host.DestroyVehicle(car));
    EXPECT_FALSE(host.PedInVehicle(passenger));
    EXPECT_EQ(host.PedVehicle(passenger), nullptr);

    SimHost other;
    EXPECT_FALSE(host.SetPlayer(other.CreatePed()));
    EXPECT_FALSE(host.SeatPed(passenger, nullptr, true));
}

TEST_F(HostTest, AnimationsAndTasksReadBackInOrder) {
    CPed* ped = host.CreatePed();
    EXPECT_EQ(host.FirstAnimation(ped), nullptr);
    host.AddAnimation(ped, "car_sit");
    host.AddAnimation(ped, "Drive_L");
    HostAnimation* first = host.FirstAnimation(ped);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(host.AnimationNameKey(first), host.NameKey("CAR_SIT"));
    HostAnimation* second = host.NextAnimation(ped, first);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(host.AnimationNameKey(second), host.NameKey("drive_l"));
    EXPECT_EQ(host.NextAnimation(ped, second), nullptr);
    HostAnimation stranger;
    EXPECT_EQ(host.NextAnimation(ped, &stranger), nullptr);

    host.SetPedTask(ped, TaskSlotKind::Secondary, 4, 1022);
    EXPECT_EQ(host.PedTaskType(ped, TaskSlotKind::Secondary, 4), 1022);
    EXPECT_EQ(host.PedTaskType(ped, TaskSlotKind::Primary, 4), -1);
    EXPECT_EQ(host.PedTaskType(ped, TaskSlotKind::Primary, 5), -1);
}

TEST(SimHostPlatform, NameKeysAreCaseInsensitiveCrc32) {
    EXPECT_EQ(SimHost::ComputeNameKey("123456789"), 0xcbf43926u);  // the CRC-32 check value
    EXPECT_EQ(SimHost::ComputeNameKey("drive_lo_car"), SimHost::ComputeNameKey("DRIVE_LO_CAR"));
    EXPECT_NE(SimHost::ComputeNameKey("drive_lo_car"), SimHost::ComputeNameKey("drive_lo_ca"));
    EXPECT_EQ(SimHost::ComputeNameKey(nullptr), SimHost::ComputeNameKey(""));
}

TEST(SimHostPlatform, InputAndPlatformQueries) {
    SimHost host;
    host.TypeText("kovra");
    ASSERT_EQ(host.TypedCharCount(), 5);
    EXPECT_EQ(host.TypedChar(0), 'a');
    EXPECT_EQ(host.TypedChar(4), 'k');
    EXPECT_EQ(host.TypedChar(5), '\0');
    host.TypeText(std::string(40, 'x'));
    EXPECT_EQ(host.TypedCharCount(), SimHost::kTypedCharCapacity);
    host.ClearTypedChars();
    EXPECT_EQ(host.TypedCharCount(), 0);

    std::uint8_t keys[256];
    host.SetKeyDown(0x25, true);
    host.ReadKeyboard(keys);
    EXPECT_EQ(keys[0x25] & 0x80, 0x80);
    EXPECT_EQ(keys[0x26], 0);

    host.AddLoadedModule("QDRNX.asi");
    EXPECT_TRUE(host.ModuleLoaded("qdrnx.ASI"));
    EXPECT_FALSE(host.ModuleLoaded(nullptr));

    std::string dir = "unchanged";
    EXPECT_FALSE(host.PluginDirectory(dir));
    EXPECT_EQ(dir, "unchanged");
    host.SetPluginDirectory("/tmp/plugin");
    ASSERT_TRUE(host.PluginDirectory(dir));
    EXPECT_EQ(dir, "/tmp/plugin/");

    const LineVertex three[3]{};
    EXPECT_FALSE(host.DrawLines(three)) << "lines come in pairs";
    EXPECT_TRUE(host.DrawTriangles(three));
    EXPECT_EQ(host.drawnTriangles.size(), 3u);
    EXPECT_EQ(host.TextWidth("~g~ab"), host.TextWidth("ab")) << "colour codes take no room";
    EXPECT_EQ(host.TextWidth("abc~n~~y~abcde~n~a"), host.TextWidth("abcde")) << "the widest line";
}

TEST(SimHostPlatform, ATimedMessageStaysForItsTimeUntilANewerOneReplacesIt) {
    SimHost host;
    host.SetTimeStep(2.0f);  // 40 ms a frame
    host.ShowTimedMessage("first", 100);
    ASSERT_NE(host.MessageOnScreen(), nullptr);
    host.RunFrame();
    host.RunFrame();
    ASSERT_NE(host.MessageOnScreen(), nullptr);
    EXPECT_EQ(host.MessageOnScreen()->text, "first");
    host.RunFrame();
    EXPECT_EQ(host.MessageOnScreen(), nullptr);
    host.ShowTimedMessage("second", 1000);
    host.ShowTimedMessage("third", 1000);
    host.ClearRecords();  // what is on screen is not a record of this frame's calls
    ASSERT_NE(host.MessageOnScreen(), nullptr);
    EXPECT_EQ(host.MessageOnScreen()->text, "third");
}

TEST(SimHostPlatform, TextCodesSplitIntoColouredRuns) {
    const std::vector<HostTextRun> runs = SplitHostText("~w~~g~~h~X: ~y~~h~0.05~n~~q~next", 0x80ffffffu);
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].text, "X: ");
    EXPECT_EQ(runs[0].colour, 0x802c6836u);  // green, with the style's alpha
    EXPECT_EQ(runs[0].highlight, 1);
    EXPECT_EQ(runs[1].text, "0.05");
    EXPECT_EQ(runs[1].column, 3);
    EXPECT_EQ(runs[1].colour & 0xffffffu, 0x63c0e2u);
    EXPECT_EQ(runs[2].text, "next");  // an unknown code is dropped
    EXPECT_EQ(runs[2].line, 1);
    EXPECT_EQ(runs[2].column, 0);
    EXPECT_EQ(SplitHostText("a~b", 0)[0].text, "a~b");  // a lone "~" is a glyph
    EXPECT_EQ(Brightened(0xff000000u, 1), 0xff555555u);
}

}  // namespace
}  // namespace kovra::sim
