// The built-in motorbike and bicycle rides played through the game's loop,
// with the plugin's own state watched frame by frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "SimTestSupport.h"
#include "TestMath.h"
#include "kovra/handles/bike/BikeShiftIk.h"
#include "kovra/handles/bike/SeatJiggle.h"
#include "kovra/handles/car/GasPedalIk.h"
#include "kovra/handles/car/HandBrakeIk.h"
#include "kovra/host/Runtime.h"
#include "kovra/ik/BoneAccess.h"
#include "kovra/ik/Geometry.h"
#include "kovra/rig/CabinIk.h"
#include "sim/Scenario.h"
#include "sim/SimHost.h"

namespace kovra {
namespace {

bool IsLimbEnd(NodeIndex n) {
    return n == kRightHandNode || n == kLeftHandNode || n == kRightFootNode || n == kLeftFootNode;
}

// One ride, with what every frame showed.
class Ride {
public:
    explicit Ride(const char* scenarioFile) {
        std::string error;
        scenario = sim::Scenario::Load(sim::BuiltInScenesDirectory() / scenarioFile, &error);
        EXPECT_TRUE(scenario) << error;
        if (!scenario) return;
        const sim::ScenarioVehicle& sv = scenario->vehicles.at(0);
        EXPECT_TRUE(host.AddVehicleModel(sv.model));
        host.SetTimeStep(scenario->timeStep);
        host.StartGame();
        vehicle = host.CreateVehicle(sv.model.id, sv.WorldMatrix());
        rider = host.CreatePed();
        host.SeatPed(rider, vehicle, true);
        host.SetPlayer(rider);
        runtime.solver().setSolveListener(&log);
    }
    ~Ride() { runtime.solver().setSolveListener(nullptr); }

    // Plays a frame, the scripted inputs changed by `alter` first; the rig
    // afterwards (null before it is built).
    template <class Alter>
    CabinIk* Frame(int frame, Alter alter) {
        log = test::SolveLog{};
        scenario->Drive(0, frame, *vehicle);
        alter(vehicle->state);
        host.RunFrame();
        return runtime.rigs().RigOf(vehicle);
    }
    CabinIk* Frame(int frame) {
        return Frame(frame, [](VehicleState&) {});
    }

    // Every hand or foot solve of the frame at full weight with a reachable
    // target: its end bone within 2 mm of the target. Counts them per kind.
    void CheckReach(int frame, std::vector<int>& reachedPerKind) {
        for (NodeIndex n = 0; n < kNodeCount; ++n) {
            const LimbSolve& s = log.last[n];
            if (s.ped != rider || !IsLimbEnd(n) || s.weight < 1.0f || !s.reached) continue;
            Vector3 end;
            ASSERT_TRUE(BonePosition(host, rider, NodeToBoneId(n), end));
            EXPECT_VEC_NEAR(end, s.target, 0.002f) << "frame " << frame << " node " << n << " kind " << s.tag;
            ++reachedPerKind.at(static_cast<std::size_t>(s.tag));
        }
    }

    void CheckFinite(int frame, const CabinIk& rig) {
        for (NodeIndex n = 0; n < kNodeCount; ++n) {
            ASSERT_TRUE(IsFinite(*BoneRotationSlot(host, rider, n))) << "frame " << frame;
            ASSERT_TRUE(IsFinite(*host.BoneMatrix(rider, n))) << "frame " << frame;
        }
        for (const auto& handle : rig.handles) {
            if (handle->frameA.frame == nullptr) continue;
            ASSERT_TRUE(IsFinite(*host.FrameModelling(handle->frameA.frame))) << "frame " << frame;
        }
    }

    test::AnyStepHost host;
    Runtime runtime{host};
    std::optional<sim::Scenario> scenario;
    CVehicle* vehicle = nullptr;
    CPed* rider = nullptr;
    test::SolveLog log;
};

bool LeverRowsAtRest(Host& host, const FrameSlot& lever) {
    const FrameMatrix& m = *host.FrameModelling(lever.frame);
    const FrameMatrix& r = lever.restMatrix;
    return Distance(m.right, r.right) <= 1e-5f && Distance(m.up, r.up) <= 1e-5f &&
           Distance(m.at, r.at) <= 1e-5f;
}

TEST(BikeRide, MotorbikeRideWorksEveryControlAndEveryLimbReaches) {
    Ride ride("motorbike.scenario");
    ASSERT_TRUE(ride.scenario);
    std::vector<int> reached(kHandleKindCount, 0);
    std::vector<std::string> expectedStrokes, strokes;
    int lastGear = 0;
    bool pending = false;
    int standingSince = -1;
    float maxZ = 0.0f;
    CabinIk* rig = nullptr;
    for (int frame = 0; frame < ride.scenario->frameCount; ++frame) {
        rig = ride.Frame(frame);
        if (rig == nullptr || !rig->built) continue;
        ASSERT_NE(rig->bikeShiftIk, nullptr);
        ASSERT_NE(rig->seatJiggle, nullptr);
        const BikeShiftIk& shift = *rig->bikeShiftIk;
        ride.CheckFinite(frame, *rig);
        ride.CheckReach(frame, reached);

        // One stroke per change of the acted gear while none is pending
        // (taken by the foot once it is back on its peg).
        if (rig->audioGear != lastGear && !pending) {
            expectedStrokes.push_back(rig->audioGear > lastGear ? "up" : "down");
        }
        lastGear = rig->audioGear;
        if (pending && !shift.shiftPending) {
            strokes.push_back(shift.shiftKind == BikeShiftIk::kUpShift ? "up" : "down");
            EXPECT_TRUE(LeverRowsAtRest(ride.host, shift.frameA)) << "frame " << frame;
        }
        pending = shift.shiftPending;

        // The seat motion stays within its limits, and settles once the
        // bike stands upright and still.
        const SeatJiggle& jiggle = *rig->seatJiggle;
        Vector3 lo, hi;
        jiggle.OffsetLimits(rig->armLength, lo, hi);
        const Vector3 o = jiggle.seatOffset;
        EXPECT_TRUE(o.x >= lo.x && o.y >= lo.y && o.z >= lo.z) << "frame " << frame << " " << o;
        EXPECT_TRUE(o.x <= hi.x && o.y <= hi.y && o.z <= hi.z) << "frame " << frame << " " << o;
        maxZ = std::max(maxZ, o.z);
        const VehicleState& state = ride.vehicle->state;
        const bool still = state.speed == 0.0f && state.lean == 0.0f && state.moveSpeed.IsZero();
        if (!still) standingSince = -1;
        if (still && standingSince < 0) standingSince = frame;
        if (standingSince >= 0 && frame - standingSince > 150) {
            EXPECT_LT(Length(o), 0.001f) << "frame " << frame;
        }
    }
    ASSERT_NE(rig, nullptr);
    EXPECT_GT(standingSince, 0);
    EXPECT_GT(maxZ, 0.02f) << "the jump lifts the rider";
    EXPECT_EQ(strokes, expectedStrokes);
    EXPECT_EQ(strokes, (std::vector<std::string>{"up", "up", "up", "up", "down", "down", "down"}));
    EXPECT_FALSE(rig->bikeShiftIk->shiftPending);
    EXPECT_TRUE(LeverRowsAtRest(ride.host, rig->bikeShiftIk->frameA));
    for (HandleKind kind : {HandleKind::Bar, HandleKind::Peg, HandleKind::BikeShift, HandleKind::HandBrake}) {
        EXPECT_GT(reached[static_cast<std::size_t>(kind)], 50) << KindCode(kind);
    }
}

TEST(BikeRide, BicycleRideHoldsBarsAndPedalsWithoutShiftOrSeatMotion) {
    Ride ride("bicycle.scenario");
    ASSERT_TRUE(ride.scenario);
    std::vector<int> reached(kHandleKindCount, 0);
    CabinIk* rig = nullptr;
    for (int frame = 0; frame < ride.scenario->frameCount; ++frame) {
        rig = ride.Frame(frame);
        if (rig == nullptr || !rig->built) continue;
        ride.CheckFinite(frame, *rig);
        ride.CheckReach(frame, reached);
    }
    ASSERT_NE(rig, nullptr);
    EXPECT_EQ(rig->isBike, 1);
    EXPECT_EQ(rig->bikeShiftIk, nullptr);
    EXPECT_EQ(rig->seatJiggle, nullptr);
    EXPECT_NE(rig->barIk, nullptr);
    EXPECT_NE(rig->pegIk, nullptr);
    EXPECT_GT(reached[static_cast<std::size_t>(HandleKind::Bar)], 500);
    EXPECT_GT(reached[static_cast<std::size_t>(HandleKind::Peg)], 500);
}

// Every tunable of the bike's handles and the global multipliers at one
// value.
void SetEveryTunable(CabinIk& rig, GlobalSettings& settings, float v) {
    const Vector3 all{v, v, v};
    for (const auto& handle : rig.handles) {
        IkHandle& h = *handle;
        h.grabOffset = h.secondOffset = h.endAngles = all;
        h.heightFactor = h.armFactor = h.maxAngle = h.minAngle = h.footTurn = h.bendAngle = v;
        h.rateArm = v;
    }
    if (BikeShiftIk* shift = rig.bikeShiftIk) shift->UpShiftHeight = shift->DownShiftHeight = v;
    if (SeatJiggle* jiggle = rig.seatJiggle) {
        jiggle->Damping = jiggle->Stiffnes = jiggle->LeanSway = v;
        jiggle->MaxOffset = all;
    }
    if (GasPedalIk* gas = rig.gasPedalIk) gas->BikeGasAngle = gas->BikeBrkAngle = v;
    if (HandBrakeIk* brake = rig.handBrakeIk) brake->FootHeight = v;
    settings.muSpinePush = settings.gWristOffsetY = settings.muThrottle = settings.muPedalSwitch = v;
}

// Zero, negative, huge and broken tunables, and the game's own values going
// bad now and then in the ride: nothing that is not finite ever reaches a
// bone or a control frame.
TEST(BikeRide, HostileTunablesAndHostValuesNeverBreakAPose) {
    for (float value : {0.0f, -1.0f, -1e30f, 1e30f, kNaN, kInf}) {
        Ride ride("motorbike.scenario");
        ASSERT_TRUE(ride.scenario);
        bool spoiled = false;
        for (int frame = 0; frame < 700; frame += frame < 100 || frame % 10 != 0 ? 1 : 7) {
            const bool badHost = frame % 60 >= 50;
            if (badHost) ride.host.ForceTimeStep(value); else ride.host.StopForcing();
            CabinIk* rig = ride.Frame(frame, [&](VehicleState& s) {
                if (!badHost) return;
                s.lean = s.speed = s.steerAngle = s.barAngle = s.gasPedal = s.brakePedal = value;
                s.wheelsOnGround = frame % 2 == 0 ? -3 : 1 << 20;
                s.gear = frame % 3 == 0 ? -7 : 1000;
                if (!IsFinite(value)) s.moveSpeed = {value, value, value};  // finite ones would fly it away
            });
            if (rig == nullptr || !rig->built) continue;
            if (!spoiled) SetEveryTunable(*rig, ride.runtime.settings(), value);
            spoiled = true;
            ride.CheckFinite(frame, *rig);
            if (rig->seatJiggle != nullptr) {
                ASSERT_TRUE(IsFinite(rig->seatJiggle->seatOffset)) << value << " frame " << frame;
            }
            ASSERT_TRUE(IsFinite(*ride.host.PedMatrix(ride.rider))) << value << " frame " << frame;
        }
        EXPECT_EQ(ride.host.Skeleton(ride.rider)->NonFiniteInputs(), 0) << value;
    }
}

}  // namespace
}  // namespace kovra
