#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "SimTestSupport.h"
#include "TestMath.h"
#include "kovra/host/Runtime.h"
#include "kovra/ik/BoneAccess.h"
#include "kovra/ik/Geometry.h"
#include "sim/SceneFile.h"
#include "sim/SimHost.h"

namespace kovra::sim {
namespace {

const char* const kBuiltIns[] = {"sedan.vehicle", "motorbike.vehicle", "bicycle.vehicle"};

VehicleModel LoadBuiltIn(const std::string& file) {
    std::string error;
    std::optional<VehicleModel> m = LoadVehicleScene(BuiltInScenesDirectory() / file, &error);
    EXPECT_TRUE(m.has_value()) << error;
    return m.value_or(VehicleModel{});
}

void ExpectSameModel(const VehicleModel& a, const VehicleModel& b, float rotationTol) {
    test::ExpectSameRecord(a, b);
    ASSERT_EQ(a.frames.size(), b.frames.size());
    for (std::size_t i = 0; i < a.frames.size(); ++i) {
        const VehicleModel::Frame& fa = a.frames[i];
        const VehicleModel::Frame& fb = b.frames[i];
        EXPECT_EQ(fa.name, fb.name);
        EXPECT_EQ(fa.parent, fb.parent) << fa.name;
        EXPECT_EQ(fa.modelling.pos, fb.modelling.pos) << fa.name;
        EXPECT_VEC_NEAR(fa.modelling.right, fb.modelling.right, rotationTol) << fa.name;
        EXPECT_VEC_NEAR(fa.modelling.up, fb.modelling.up, rotationTol) << fa.name;
        EXPECT_VEC_NEAR(fa.modelling.at, fb.modelling.at, rotationTol) << fa.name;
        EXPECT_EQ(fa.vertices, fb.vertices) << fa.name;
    }
}

// ---- the built-in scenes ---------------------------------------------------

TEST(SceneFile, BuiltInScenesLoadWithTheirControlFrames) {
    struct Expected {
        const char* file;
        int type;
        std::vector<std::string> frames;
    };
    const Expected expected[] = {
        {"sedan.vehicle",
         kVehicleTypeCar,
         {"ik_steer", "ik_gear_stick", "ik_hand_brake", "ik_gas", "ik_brake", "ik_clutch"}},
        {"motorbike.vehicle",
         kVehicleTypeMotorbike,
         {"handlebars", "ik_bike_peg", "ik_bike_shift", "ik_bike_rbrake", "ik_gas", "ik_clutch"}},
        {"bicycle.vehicle", kVehicleTypeBicycle, {"handlebars", "ik_bike_peg"}},
    };
    for (const Expected& e : expected) {
        const VehicleModel m = LoadBuiltIn(e.file);
        std::string why;
        EXPECT_TRUE(m.Validate(&why)) << e.file << ": " << why;
        EXPECT_EQ(m.type, e.type) << e.file;
        for (const std::string& name : e.frames) {
            const int i = m.FindFrame(name);
            ASSERT_GE(i, 0) << e.file << " lacks " << name;
            EXPECT_FALSE(m.frames[static_cast<std::size_t>(i)].vertices.empty())
                << e.file << ": " << name << " needs a box for its default offset";
        }
        if (m.IsBike()) {
            EXPECT_GE(m.FindFrame(m.bodyFrame), 0) << e.file;
            EXPECT_GE(m.FindFrame(m.steeringFrame), 0) << e.file;
            EXPECT_FALSE(m.handlebar.IsZero()) << e.file << ": no handlebar, no BarIk";
        }
    }
    // The factories are the files, with the id they are asked for.
    EXPECT_EQ(MakeSedanModel(777).id, 777);
    ExpectSameModel(MakeSedanModel(400), LoadBuiltIn("sedan.vehicle"), 0.0f);
    ExpectSameModel(MakeMotorbikeModel(461), LoadBuiltIn("motorbike.vehicle"), 0.0f);
}

// Every control is within reach of the seated driver of the simulated
// skeleton: the limb solver brings the hand or foot onto the target that the
// rig derives from the frame and its default offset, at rest and fully
// pressed or pulled.
class SceneReachTest : public ::testing::Test {
protected:
    void Seat(const VehicleModel& model) {
        ASSERT_TRUE(host.AddVehicleModel(model));
        FrameMatrix world;
        RotateFrame(world, AxisZ, 40.0f, Combine::Replace);
        world.pos = {12.0f, -3.0f, 0.5f};
        vehicle = host.CreateVehicle(model.id, world);
        driver = host.CreatePed();
        ASSERT_TRUE(host.SeatPed(driver, vehicle, true));
    }

    FrameMatrix World(const std::string& name) {
        HostFrame* f = host.FindFrame(vehicle, name);
        EXPECT_NE(f, nullptr) << name;
        return f ? *host.FrameWorld(f) : FrameMatrix{};
    }

    Vector3 Joint(NodeIndex node) {
        Vector3 p;
        EXPECT_TRUE(BonePosition(host, driver, NodeToBoneId(node), p));
        return p;
    }

    // Within 2 mm after the solve, and without stretching the limb straight.
    void ExpectReach(const std::string& what, const Vector3& target, NodeIndex end) {
        host.AnimatePed(driver);
        const NodeIndex mid = ParentNode(end), root = ParentNode(mid);
        const float length = Distance(Joint(root), Joint(mid)) + Distance(Joint(mid), Joint(end));
        EXPECT_LT(Distance(Joint(root), target), 0.95f * length) << what << " is at arm's length";
        runtime.solver().SolveLimb(driver, target, end, {}, 1.0f);
        RefreshBoneMatrices(host, driver);
        Vector3 reached;
        ASSERT_TRUE(BonePosition(host, driver, NodeToBoneId(end), reached));
        EXPECT_LT(Distance(reached, target), 0.002f) << what << " is out of reach";
    }

    SimHost host;
    Runtime runtime{host};
    CVehicle* vehicle = nullptr;
    CPed* driver = nullptr;
    const float wristY = runtime.settings().gWristOffsetY;
};

Vector3 BoxMin(const VehicleModel& m, const std::string& name) {
    const auto& v = m.frames[static_cast<std::size_t>(m.FindFrame(name))].vertices;
    Vector3 r = v.front();
    for (const Vector3& p : v) r = {std::min(r.x, p.x), std::min(r.y, p.y), std::min(r.z, p.z)};
    return r;
}

Vector3 BoxMax(const VehicleModel& m, const std::string& name) {
    const auto& v = m.frames[static_cast<std::size_t>(m.FindFrame(name))].vertices;
    Vector3 r = v.front();
    for (const Vector3& p : v) r = {std::max(r.x, p.x), std::max(r.y, p.y), std::max(r.z, p.z)};
    return r;
}

// The control's frame turned about its own x axis, as a handle presses it.
Vector3 Pressed(const Vector3& offset, float degrees, const FrameMatrix& world) {
    return TransformPoint(TransformPoint(offset, EulerFrame({degrees, 0.0f, 0.0f})), world);
}

TEST_F(SceneReachTest, SedanDriverReachesEveryControl) {
    const VehicleModel m = LoadBuiltIn("sedan.vehicle");
    Seat(m);
    const FrameMatrix wheel = World("ik_steer");
    const float r = BoxMax(m, "ik_steer").x;
    EXPECT_NEAR(r, 0.19f, 0.02f) << "rim radius";
    const float c = std::cos(45.0f * kDegToRad) * r;
    ExpectReach("right hand on the rim", TransformPoint({c, 0.5f * wristY, c}, wheel),
                kRightHandNode);
    ExpectReach("left hand on the rim", TransformPoint({-c, 0.5f * wristY, c}, wheel),
                kLeftHandNode);

    // The knob in neutral and in the four corners of a gear pattern.
    const Vector3 knob{0.0f, -0.05f, BoxMax(m, "ik_gear_stick").z};
    const FrameMatrix stick = World("ik_gear_stick");
    for (const Vector3 tilt : {Vector3{}, Vector3{15, 15, 0}, Vector3{-15, 15, 0},
                               Vector3{15, -20, 0}, Vector3{-15, -20, 0}}) {
        ExpectReach("gear knob", TransformPoint(TransformPoint(knob, EulerFrame(tilt)), stick),
                    kRightHandNode);
    }
    const Vector3 lever{0.0f, BoxMax(m, "ik_hand_brake").y * 0.85f, 0.03f};
    for (const float pull : {0.0f, 30.0f}) {
        ExpectReach("hand brake", Pressed(lever, pull, World("ik_hand_brake")), kRightHandNode);
    }
    struct Pedal {
        const char* name;
        NodeIndex foot;
    };
    for (const Pedal p : {Pedal{"ik_gas", kRightFootNode}, Pedal{"ik_brake", kRightFootNode},
                          Pedal{"ik_clutch", kLeftFootNode}}) {
        const Vector3 lo = BoxMin(m, p.name);
        const Vector3 pad{0.0f, 2.0f * lo.y, lo.z * 0.9f};  // unrotated pedal frame
        for (const float press : {0.0f, 10.0f})
            ExpectReach(p.name, Pressed(pad, press, World(p.name)), p.foot);
    }
}

TEST_F(SceneReachTest, RidersReachBarsAndPegs) {
    for (const char* file : {"motorbike.vehicle", "bicycle.vehicle"}) {
        SCOPED_TRACE(file);
        const VehicleModel m = LoadBuiltIn(file);
        Seat(m);
        const VehicleModel::Frame& bars =
            m.frames[static_cast<std::size_t>(m.FindFrame("handlebars"))];
        const Vector3 toGrip = m.handlebar - bars.modelling.pos;
        const Vector3 grip{m.handlebar.x, toGrip.y + 0.025f + wristY, toGrip.z * 1.1f};
        ExpectReach("right grip", TransformPoint(grip, World("handlebars")), kRightHandNode);
        ExpectReach("left grip", TransformPoint({-grip.x, grip.y, grip.z}, World("handlebars")),
                    kLeftHandNode);

        const FrameMatrix body = World(m.bodyFrame);
        const Vector3 p =
            m.frames[static_cast<std::size_t>(m.FindFrame("ik_bike_peg"))].modelling.pos;
        const Vector3 peg{std::fabs(p.x), p.y, p.z + 0.1f};
        ExpectReach("right peg", TransformPoint(peg, body), kRightFootNode);
        ExpectReach("left peg", TransformPoint({-peg.x, peg.y, peg.z}, body), kLeftFootNode);
        if (m.FindFrame("ik_bike_shift") >= 0) {
            const bool left =
                m.frames[static_cast<std::size_t>(m.FindFrame("ik_bike_shift"))].modelling.pos.x <
                0.0f;
            const Vector3 shift{left ? -peg.x : peg.x, peg.y + 0.03f, peg.z};
            ExpectReach("gear lever", TransformPoint(shift, body),
                        left ? kLeftFootNode : kRightFootNode);
            ExpectReach("rear brake", TransformPoint(peg + Vector3{0.0f, 0.03f, 0.0f}, body),
                        kRightFootNode);
        }
        host.DestroyPed(driver);
        host.DestroyVehicle(vehicle);
    }
}

// ---- rotations ----------------------------------------------------------------

TEST(SceneFile, EulerTurnsAboutXThenYThenZOfTheParent) {
    EXPECT_GT(EulerFrame({20.0f, 0.0f, 0.0f}).up.z, 0.3f) << "positive x lifts the y axis";
    const FrameMatrix m = EulerFrame({90.0f, 0.0f, 90.0f});
    EXPECT_VEC_NEAR(m.right, Vector3(0, 1, 0), 1e-6f);
    EXPECT_VEC_NEAR(m.up, Vector3(0, 0, 1), 1e-6f);
    EXPECT_VEC_NEAR(m.at, Vector3(1, 0, 0), 1e-6f);
    const FrameMatrix y = EulerFrame({0.0f, 90.0f, 0.0f});
    EXPECT_VEC_NEAR(y.at, Vector3(1, 0, 0), 1e-6f) << "positive y turns z towards x";

    std::mt19937 rng(7);
    std::uniform_real_distribution<float> any(-180.0f, 180.0f), pitch(-90.0f, 90.0f);
    for (int i = 0; i < 300; ++i) {
        const float nearPole[] = {90.0f, -90.0f, 89.99f, -89.999f};
        const Vector3 a{any(rng), i % 25 == 0 ? nearPole[i / 25 % 4] : pitch(rng), any(rng)};
        const FrameMatrix f = EulerFrame(a);
        const FrameMatrix back = EulerFrame(EulerDegrees(f));
        EXPECT_VEC_NEAR(back.right, f.right, 2e-5f) << a;
        EXPECT_VEC_NEAR(back.up, f.up, 2e-5f) << a;
        EXPECT_VEC_NEAR(back.at, f.at, 2e-5f) << a;
    }
}

// ---- writer and reader ------------------------------------------------------

TEST(SceneFile, WrittenScenesReadBackToTheSameModel) {
    for (const char* file : kBuiltIns) {
        SCOPED_TRACE(file);
        const VehicleModel m = LoadBuiltIn(file);
        std::string error;
        const std::string text = WriteVehicleScene(m, &error);
        ASSERT_FALSE(text.empty()) << error;
        const std::optional<VehicleModel> back = ParseVehicleScene(text, "written", &error);
        ASSERT_TRUE(back) << error << "\n" << text;
        ExpectSameModel(m, *back, 1e-6f);
        EXPECT_EQ(WriteVehicleScene(*back), text) << "a second trip changes nothing";
    }

    // Any rotation and loose vertices, not only boxes.
    VehicleModel m;
    m.id = 9;
    m.name = "odd";
    m.type = kVehicleTypeBicycle;
    m.frontSeat = {0.1f, -0.123456789f, 1e-7f};
    m.leanLimit = 0.3f;
    m.bodyFrame = "b";
    m.steeringFrame = "c";
    m.frames.push_back({"a", -1, EulerFrame({12.5f, -33.25f, 170.0f}), {{0.1f, 0.2f, 0.3f}}, {}});
    m.frames.push_back({"b", 0, EulerFrame({0.0f, 90.0f, 0.0f}), {}, {}});
    m.frames.push_back({"c", 1, EulerFrame({-179.5f, 0.0f, 45.0f}), BoxVertices({-1, -2, -3}, {1, 2, 3}),
                        BoxTriangles()});
    m.frames[0].modelling.pos = {1.0f / 3.0f, -2.0f, 0.0f};
    std::string error;
    const std::optional<VehicleModel> back =
        ParseVehicleScene(WriteVehicleScene(m, &error), "w", &error);
    ASSERT_TRUE(back) << error;
    ExpectSameModel(m, *back, 1e-5f);

    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "kovra-scene-test";
    std::filesystem::create_directories(dir);
    ASSERT_TRUE(SaveVehicleScene(m, dir / "odd.vehicle", &error)) << error;
    const std::optional<VehicleModel> loaded = LoadVehicleScene(dir / "odd.vehicle", &error);
    ASSERT_TRUE(loaded) << error;
    ExpectSameModel(m, *loaded, 1e-5f);
}

TEST(SceneFile, WriterRefusesWhatTheFormatCannotHold) {
    const VehicleModel good = LoadBuiltIn("sedan.vehicle");
    struct Case {
        const char* what;
        VehicleModel model;
        const char* reason;
    };
    std::vector<Case> cases;
    cases.push_back({"scaled frame", good, "scaled or skewed"});
    ScaleFrame(cases.back().model.frames[0].modelling, {2.0f, 1.0f, 1.0f});
    cases.push_back({"blank in a name", good, "printable"});
    cases.back().model.frames[1].name = "gear stick";
    cases.push_back({"twin frames", good, "two frames named \"ik_gas\""});
    cases.back().model.frames[4].name = "ik_gas";
    cases.push_back({"unknown type", good, "vehicle type 3"});
    cases.back().model.type = 3;
    cases.push_back({"far away", good, "out of range"});
    cases.back().model.frames[2].modelling.pos.y = 5000.0f;
    cases.push_back({"no name", good, "has no name"});
    cases.back().model.name.clear();
    cases.push_back({"a mesh's triangles", good, "the triangles of frame"});
    cases.back().model.frames[0].vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    cases.back().model.frames[0].triangles = {0, 1, 2};
    cases.push_back({"box corners without triangles", good, "the triangles of frame"});
    cases.back().model.frames[0].vertices = BoxVertices({-1, -1, -1}, {1, 1, 1});
    cases.back().model.frames[0].triangles.clear();
    for (const Case& c : cases) {
        std::string error;
        EXPECT_EQ(WriteVehicleScene(c.model, &error), "") << c.what;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.what << ": " << error;
    }
}

// ---- errors --------------------------------------------------------------------

std::string ErrorOf(const std::string& text) {
    std::string error;
    EXPECT_FALSE(ParseVehicleScene(text, "scenes/t.vehicle", &error).has_value()) << text;
    return error;
}

const std::string kHead = "kovra-vehicle 1\nid 5\nname t\ntype car\n";  // lines 1-4

TEST(SceneFile, EveryErrorNamesFileLineAndProblem) {
    struct Case {
        std::string text;
        std::string message;
    };
    const Case cases[] = {
        {"", "scenes/t.vehicle: empty"},
        {"id 5\n", "scenes/t.vehicle:1:1: not a vehicle scene"},
        {"kovra-vehicle 2\n", "scenes/t.vehicle:1:15: unsupported version \"2\""},
        {kHead + "colour red\n", "scenes/t.vehicle:5:1: unknown keyword \"colour\""},
        {kHead + "front-seat 1 2\n", "scenes/t.vehicle:5: \"front-seat\" needs 3 numbers, found 2"},
        {kHead + "front-seat 1 2 x\n", "scenes/t.vehicle:5:16: \"x\" is not a number"},
        {kHead + "front-seat 1 0,5 2\n",
         "scenes/t.vehicle:5:14: \"0,5\" is not a number (decimals"},
        {kHead + "front-seat 1 nan 2\n", "scenes/t.vehicle:5:14: \"nan\" is not a finite number"},
        {kHead + "front-seat 1 2 -inf\n", "scenes/t.vehicle:5:16: \"-inf\" is not a finite number"},
        {kHead + "front-seat 1 2 1e39\n", "scenes/t.vehicle:5:16: \"1e39\" is out of range"},
        {kHead + "front-seat 1 2 150\n", ":5:16: \"150\" is out of range (-100 to 100 metres)"},
        {kHead + "front-seat 1 2 3 4\n",
         ":5:18: unexpected \"4\" after \"front-seat\" and its 3 values"},
        {kHead + "id 6\n", "scenes/t.vehicle:5:1: \"id\" is given twice (first at line 2)"},
        {"kovra-vehicle 1\nid -1\n", ":2:4: \"-1\" is out of range (0 to 2147483647)"},
        {"kovra-vehicle 1\nid 1.5\n", ":2:4: \"1.5\" is not a whole number"},
        {"kovra-vehicle 1\nid 99999999999\n", ":2:4: \"99999999999\" is out of range"},
        {"kovra-vehicle 1\nid\n", ":2: \"id\" needs a value"},
        {"kovra-vehicle 1\nname a\"b\n", ":2:6: the name \"a\\x22b\" may hold only printable"},
        {"kovra-vehicle 1\ntype truck\n", ":2:6: unknown vehicle type \"truck\""},
        {"kovra-vehicle 1\nname t\ntype car\n", "scenes/t.vehicle: no \"id\" line"},
        {"kovra-vehicle 1\nid 3\ntype car\n", "scenes/t.vehicle: no \"name\" line"},
        {"kovra-vehicle 1\nid 3\nname t\n", "scenes/t.vehicle: no \"type\" line"},
        {kHead + "position 0 0 0\n", ":5:1: \"position\" belongs to a frame"},
        {kHead + "frame a\nanim-group 2\n", ":6:1: \"anim-group\" describes the vehicle"},
        {kHead + "frame a\nframe a\n", ":6:7: frame \"a\" is defined twice (first at line 5)"},
        {kHead + "frame a\nparent dash\n", "scenes/t.vehicle:6:8: unknown parent frame \"dash\""},
        {kHead + "frame a\nparent b\nframe b\n",
         ":6:8: parent frame \"b\" is defined later, at line 7; a parent must come before"},
        {kHead + "frame a\nparent a\n", ":6:8: frame \"a\" cannot be its own parent"},
        {kHead + "frame a\nrotation 0 400 0\n",
         ":6:12: \"400\" is out of range (-360 to 360 degrees)"},
        {kHead + "frame a\nposition 0 0 0\nposition 1 1 1\n", ":7:1: \"position\" is given twice"},
        {kHead + "frame a\nbox 0 1 0 1 0 1\n", ":6:7: the box's minimum y is above its maximum"},
        {kHead + "frame a\nbox 0 0 0 1 1\n", ":6: \"box\" needs 6 numbers, found 5"},
        {kHead + "frame\n", ":5: \"frame\" needs a name"},
        {kHead + "body-frame a\nframe a\n",
         ":5: \"body-frame\" is for motorbikes and bicycles only"},
        {"kovra-vehicle 1\nid 1\nname b\ntype bicycle\nsteering-frame fork\n",
         ":5: \"steering-frame\" names \"fork\", which is not a frame of this file"},
    };
    for (const Case& c : cases) {
        const std::string error = ErrorOf(c.text);
        EXPECT_NE(error.find(c.message), std::string::npos)
            << "text:\n"
            << c.text << "gave: " << error << "\nwanted: " << c.message;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
}

TEST(SceneFile, AbsurdSizesAreRefused) {
    std::string many = kHead;
    for (int i = 0; i <= kMaxModelFrames; ++i) many += "frame f" + std::to_string(i) + "\n";
    EXPECT_NE(ErrorOf(many).find("more than 1024 frames"), std::string::npos);

    std::string vertices = kHead + "frame a\n";
    for (std::size_t i = 0; i <= kMaxFrameVertices; ++i) vertices += "vertex 0 0 0\n";
    EXPECT_NE(ErrorOf(vertices).find("more than 4096 vertices"), std::string::npos);

    EXPECT_NE(
        ErrorOf("kovra-vehicle 1\nname " + std::string(64, 'n') + "\n").find("longer than 63"),
        std::string::npos);
}

TEST(SceneFile, LayoutFreedomsAndFileErrors) {
    // A byte-order mark, CR LF line ends, comments, blank lines and tabs.
    const std::string text =
        "\xEF\xBB\xBF# a comment\r\nkovra-vehicle 1  # trailing\r\n\r\nid\t12\r\nname x\r\n"
        "type motorbike\r\nbody-frame b\r\nframe b\r\n  position 0 -0.5 +1.25 # note\r\n";
    std::string error;
    const std::optional<VehicleModel> m = ParseVehicleScene(text, "crlf", &error);
    ASSERT_TRUE(m) << error;
    EXPECT_EQ(m->id, 12);
    EXPECT_EQ(m->frames[0].modelling.pos, Vector3(0.0f, -0.5f, 1.25f));
    EXPECT_EQ(m->frames[0].parent, -1);

    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "kovra-scene-test";
    std::filesystem::create_directories(dir);
    EXPECT_FALSE(LoadVehicleScene(dir / "none.vehicle", &error));
    EXPECT_NE(error.find("none.vehicle: cannot be opened"), std::string::npos) << error;
    EXPECT_FALSE(LoadVehicleScene(dir, &error));
    EXPECT_NE(error.find("is a directory"), std::string::npos) << error;
    {
        std::ofstream(dir / "zero-byte.vehicle", std::ios::binary)
            << std::string("kovra-vehicle 1\0x", 17);
        std::ofstream big(dir / "big.vehicle", std::ios::binary);
        big << std::string(kMaxSceneFileBytes + 1, '#');
    }
    EXPECT_FALSE(LoadVehicleScene(dir / "zero-byte.vehicle", &error));  // "nul" names a device on Windows
    EXPECT_NE(error.find("NUL byte"), std::string::npos) << error;
    EXPECT_FALSE(LoadVehicleScene(dir / "big.vehicle", &error));
    EXPECT_NE(error.find("is larger than"), std::string::npos) << error;
}

// Damaged variants of the built-in scenes either fail with a one-line
// message or load as a model that is valid and writes back out.
TEST(SceneFile, FuzzedScenesNeverCrash) {
    std::vector<std::string> seeds;
    for (const char* file : kBuiltIns) {
        std::string text, error;
        ASSERT_TRUE(
            ReadSceneTextFile(BuiltInScenesDirectory() / file, kMaxSceneFileBytes, text, error));
        seeds.push_back(text);
    }
    const std::string pieces[] = {" ",     "\n",   "#",      "frame",  "parent", "box",  "nan",
                                  "-1e38", "1e39", "0",      "ik_gas", "\t",     "\r\n", "\"",
                                  "\xff",  "360",  "vertex", "type",   "id",     "-",    "."};
    std::mt19937 rng(20240601);
    int loaded = 0;
    for (int i = 0; i < 3000; ++i) {
        std::string text = seeds[static_cast<std::size_t>(i) % std::size(seeds)];
        const int edits = 1 + static_cast<int>(rng() % 4);
        for (int e = 0; e < edits && !text.empty(); ++e) {
            const std::size_t at = rng() % text.size();
            switch (rng() % 5) {
                case 0:
                    text[at] = static_cast<char>(rng() % 256);
                    break;
                case 1:
                    text.erase(at, 1 + rng() % 12);
                    break;
                case 2:
                    text.insert(at, pieces[rng() % std::size(pieces)]);
                    break;
                case 3:
                    text.insert(at, text.substr(rng() % text.size(), rng() % 40));
                    break;
                default:
                    text.resize(at);
                    break;
            }
        }
        std::string error;
        const std::optional<VehicleModel> m = ParseVehicleScene(text, "fuzz", &error);
        if (!m) {
            EXPECT_EQ(error.rfind("fuzz", 0), 0u) << error;
            EXPECT_EQ(error.find('\n'), std::string::npos) << error;
            continue;
        }
        ++loaded;
        EXPECT_TRUE(m->Validate());
        const std::string written = WriteVehicleScene(*m, &error);
        ASSERT_FALSE(written.empty()) << error << "\n---\n" << text;
        EXPECT_TRUE(ParseVehicleScene(written, "rewritten", &error)) << error;
    }
    EXPECT_GT(loaded, 100) << "the mutations should leave some files readable";
}

}  // namespace
}  // namespace kovra::sim
