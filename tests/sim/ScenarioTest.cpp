#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "TestMath.h"
#include "kovra/ik/Geometry.h"
#include "sim/Scenario.h"
#include "sim/SimHost.h"

namespace kovra::sim {
namespace {

namespace fs = std::filesystem;

std::optional<Scenario> ParseText(const std::string& text, std::string* error,
                                  const fs::path& base = BuiltInScenesDirectory()) {
    return Scenario::Parse(text, "runs/t.scenario", base, error);
}

TEST(Scenario, BuiltInRunsLoad) {
    std::string error;
    const std::optional<Scenario> car =
        Scenario::Load(BuiltInScenesDirectory() / "lock-to-lock.scenario", &error);
    ASSERT_TRUE(car) << error;
    EXPECT_EQ(car->frameCount, 600);
    EXPECT_EQ(car->timeStep, 1.0f);
    ASSERT_EQ(car->vehicles.size(), 1u);
    EXPECT_EQ(car->vehicles[0].model.name, "sedan");
    EXPECT_EQ(car->vehicles[0].driver, ScenarioDriver::Player);
    ASSERT_GE(car->pictureFrames.size(), 3u);

    // From the centre to full lock one way, across to the other and back.
    float most = 0.0f, least = 0.0f, gas = 0.0f;
    int mostAt = 0, leastAt = 0;
    for (int f = 0; f < car->frameCount; ++f) {
        const VehicleState s = car->InputsAt(0, f);
        if (s.steerAngle > most) most = s.steerAngle, mostAt = f;
        if (s.steerAngle < least) least = s.steerAngle, leastAt = f;
        gas = std::max(gas, s.gasPedal);
        if (f > 0) {
            EXPECT_LT(std::fabs(s.steerAngle - car->InputsAt(0, f - 1).steerAngle), 0.02f)
                << "smooth at frame " << f;
        }
    }
    EXPECT_NEAR(most * kRadToDeg, 35.0f, 1.0f);
    EXPECT_NEAR(least * kRadToDeg, -35.0f, 1.0f);
    EXPECT_LT(mostAt, leastAt);
    EXPECT_EQ(car->InputsAt(0, 0).steerAngle, 0.0f);
    EXPECT_EQ(car->InputsAt(0, 599).steerAngle, 0.0f);
    EXPECT_GT(gas, 0.2f);
    // The pictures include the rest pose and both locks.
    const auto steerAt = [&](int f) { return car->InputsAt(0, f).steerAngle * kRadToDeg; };
    EXPECT_TRUE(std::any_of(car->pictureFrames.begin(), car->pictureFrames.end(),
                            [&](int f) { return steerAt(f) == 0.0f; }));
    EXPECT_TRUE(std::any_of(car->pictureFrames.begin(), car->pictureFrames.end(),
                            [&](int f) { return steerAt(f) > 34.0f; }));
    EXPECT_TRUE(std::any_of(car->pictureFrames.begin(), car->pictureFrames.end(),
                            [&](int f) { return steerAt(f) < -34.0f; }));

    const std::optional<Scenario> bike =
        Scenario::Load(BuiltInScenesDirectory() / "motorbike.scenario", &error);
    ASSERT_TRUE(bike) << error;
    EXPECT_EQ(bike->vehicles[0].model.type, kVehicleTypeMotorbike);
    EXPECT_NE(bike->vehicles[0].driver, ScenarioDriver::None);
    // It leans both ways at speed, leaves the ground once and comes down
    // where it took off, and ends standing still.
    float mostLeft = 0.0f, mostRight = 0.0f, height = 0.0f, highest = 0.0f;
    int airborne = 0;
    for (int f = 0; f < bike->frameCount; ++f) {
        const VehicleState s = bike->InputsAt(0, f);
        if (s.speed > 0.1f) {
            mostLeft = std::min(mostLeft, s.lean);
            mostRight = std::max(mostRight, s.lean);
        }
        airborne += s.wheelsOnGround == 0;
        height += s.moveSpeed.z * bike->timeStep;
        highest = std::max(highest, height);
    }
    EXPECT_LT(mostLeft, -0.2f);
    EXPECT_GT(mostRight, 0.2f);
    EXPECT_GT(airborne, 10);
    EXPECT_GT(highest, 0.3f);
    EXPECT_NEAR(height, 0.0f, 1e-4f);
    const VehicleState last = bike->InputsAt(0, bike->frameCount - 1);
    EXPECT_EQ(last.speed, 0.0f);
    EXPECT_EQ(last.lean, 0.0f);
    EXPECT_EQ(last.wheelsOnGround, 4);
}

TEST(Scenario, NumbersInterpolateAndSwitchesHold) {
    std::string error;
    const std::optional<Scenario> s = ParseText(
        "kovra-scenario 1\nframes 100\nvehicle sedan.vehicle\n"
        "  key 10 steer 10 gear 1 hand-brake 1 wheels 4\n"
        "  key 15 gas 0.5\n"
        "  key 20 steer 30 gear 3 speed -2\n"
        "  key 30 hand-brake 0 gas 1\n",
        &error);
    ASSERT_TRUE(s) << error;
    const auto at = [&](int f) { return s->InputsAt(0, f); };

    // Before the first key: the first key's values.
    EXPECT_FLOAT_EQ(at(0).steerAngle, 10.0f * kDegToRad);
    EXPECT_EQ(at(0).gear, 1);
    EXPECT_TRUE(at(0).handBrake);
    EXPECT_EQ(at(0).gasPedal, 0.5f);
    // Between keys: numbers along a straight line, each on its own keys.
    EXPECT_FLOAT_EQ(at(15).steerAngle, 20.0f * kDegToRad) << "the gas key does not split steer";
    EXPECT_NEAR(at(25).gasPedal, 0.5f + 0.5f * 10.0f / 15.0f, 1e-6f);
    EXPECT_FLOAT_EQ(at(12).steerAngle, 14.0f * kDegToRad);
    // Held values keep the earlier key's value up to the next key.
    EXPECT_EQ(at(19).gear, 1);
    EXPECT_EQ(at(20).gear, 3);
    EXPECT_TRUE(at(29).handBrake);
    EXPECT_FALSE(at(30).handBrake);
    // Keys give their values exactly; after the last, the last holds.
    EXPECT_EQ(at(20).steerAngle, 30.0f * kDegToRad);
    EXPECT_EQ(at(99).steerAngle, 30.0f * kDegToRad);
    EXPECT_EQ(at(99).speed, -2.0f);
    EXPECT_EQ(at(5000).gasPedal, 1.0f);
    EXPECT_EQ(at(-7).gear, 1);
    // No keys: zero.
    EXPECT_EQ(at(50).brakePedal, 0.0f);
    EXPECT_EQ(at(50).lean, 0.0f);
    EXPECT_EQ(at(50).wheelsOnGround, 4);

    // Only the inputs are set; a wrong index gives the defaults.
    VehicleState state;
    state.animGroup = 7;
    state.leanLimit = 0.4f;
    state.stateByte = 6;
    Scenario::CopyInputs(at(20), state);
    EXPECT_EQ(state.gear, 3);
    EXPECT_EQ(state.animGroup, 7);
    EXPECT_EQ(state.leanLimit, 0.4f);
    EXPECT_EQ(state.stateByte, 6);
    EXPECT_EQ(s->InputsAt(1, 10).gear, 0);
    EXPECT_EQ(s->InputsAt(-1, 10).steerAngle, 0.0f);
}

// A scripted vehicle moves along its heading and climbs; a two-wheeler
// rolls with its lean and turns its bars with the steering.
TEST(Scenario, DrivingMovesAlongTheHeadingAndRollsABike) {
    std::string error;
    const std::optional<Scenario> s = ParseText(
        "kovra-scenario 1\nframes 20\n"
        "vehicle motorbike.vehicle\n  position 5 5 0\n  heading 90\n"
        "  key 0 speed 0.5 climb 0.2 lean 0.3 steer 10\n"
        "vehicle sedan.vehicle\n  heading 90\n  key 0 speed 0.5 lean 0.3\n",
        &error);
    ASSERT_TRUE(s) << error;
    const VehicleState in = s->InputsAt(0, 3);
    EXPECT_VEC_NEAR(in.moveSpeed, Vector3(-0.5f, 0.0f, 0.2f), 1e-6f) << "heading 90 faces -x";
    EXPECT_FLOAT_EQ(in.barAngle, 10.0f * kDegToRad);

    SimHost host;
    ASSERT_TRUE(host.AddVehicleModel(s->vehicles[0].model));
    ASSERT_TRUE(host.AddVehicleModel(s->vehicles[1].model));
    CVehicle* bike = host.CreateVehicle(s->vehicles[0].model.id, s->vehicles[0].WorldMatrix());
    CVehicle* car = host.CreateVehicle(s->vehicles[1].model.id, s->vehicles[1].WorldMatrix());
    host.SetTimeStep(2.0f);
    for (int f = 0; f < 4; ++f) {
        s->Drive(0, f, *bike);
        s->Drive(1, f, *car);
        host.RunFrame();
    }
    EXPECT_VEC_NEAR(bike->matrix.pos, Vector3(5.0f - 4.0f, 5.0f, 1.6f), 1e-5f);
    EXPECT_VEC_NEAR(bike->matrix.up, Vector3(-1, 0, 0), 1e-6f) << "the roll keeps the heading";
    // Leaning right by 0.3 radians: its up axis tips towards its right,
    // which faces the world's +y at this heading.
    EXPECT_NEAR(bike->matrix.at.z, std::cos(0.3f), 1e-5f);
    EXPECT_NEAR(bike->matrix.at.y, std::sin(0.3f), 1e-5f);
    EXPECT_EQ(bike->state.barAngle, in.barAngle);
    EXPECT_VEC_NEAR(car->matrix.at, AxisZ, 1e-6f) << "a car does not lean";
}

TEST(Scenario, VehiclesArePlacedAndScenesFound) {
    const fs::path dir = fs::temp_directory_path() / "kovra-scenario-test";
    fs::create_directories(dir);
    {
        std::ofstream(dir / "mine.vehicle") << "kovra-vehicle 1\nid 900\nname mine\ntype car\n";
        std::ofstream(dir / "clash.vehicle") << "kovra-vehicle 1\nid 400\nname clash\ntype car\n";
        std::ofstream(dir / "run.scenario")
            << "kovra-scenario 1\nname two cars\nframes 10\ntime-step 0.5\npicture 9 0\n"
               "vehicle mine.vehicle\n  position 1 2 3\n  heading 90\n  driver ped\n  driver-enters 4\n"
               "vehicle sedan.vehicle\n  driver player\n"
               "vehicle sedan.vehicle\n";
    }
    std::string error;
    const std::optional<Scenario> s = Scenario::Load(dir / "run.scenario", &error);
    ASSERT_TRUE(s) << error;
    EXPECT_EQ(s->name, "two cars");
    EXPECT_EQ(s->timeStep, 0.5f);
    EXPECT_EQ(s->pictureFrames, (std::vector<int>{0, 9}));
    ASSERT_EQ(s->vehicles.size(), 3u);
    EXPECT_EQ(s->vehicles[0].model.id, 900) << "found beside the scenario";
    EXPECT_EQ(s->vehicles[1].model.id, 400) << "found among the built-in scenes";
    EXPECT_EQ(s->vehicles[2].model.id, 400) << "one scene may serve several vehicles";
    EXPECT_EQ(s->vehicles[0].driver, ScenarioDriver::Ped);
    EXPECT_EQ(s->vehicles[2].driver, ScenarioDriver::None);
    EXPECT_EQ(s->vehicles[0].driverEnters, 4) << "gets in at frame 4";
    EXPECT_EQ(s->vehicles[1].driverEnters, 0) << "seated from the start";
    const FrameMatrix w = s->vehicles[0].WorldMatrix();
    EXPECT_VEC_NEAR(w.up, Vector3(-1, 0, 0), 1e-6f) << "heading 90 faces the world's -x";
    EXPECT_EQ(w.pos, Vector3(1, 2, 3));

    const std::string clash =
        "kovra-scenario 1\nframes 10\nvehicle sedan.vehicle\n"
        "vehicle clash.vehicle\n";
    EXPECT_FALSE(Scenario::Parse(clash, "c.scenario", dir, &error));
    EXPECT_NE(error.find("c.scenario:4:9: model id 400 of"), std::string::npos) << error;

    EXPECT_FALSE(Scenario::Load(dir / "missing.scenario", &error));
    EXPECT_NE(error.find("missing.scenario: cannot be opened"), std::string::npos) << error;
}

TEST(Scenario, EveryErrorNamesFileLineAndProblem) {
    const std::string head = "kovra-scenario 1\nframes 100\n";  // lines 1-2
    const std::string car = head + "vehicle sedan.vehicle\n";   // line 3
    struct Case {
        std::string text;
        std::string message;
    };
    const Case cases[] = {
        {"", "runs/t.scenario: empty"},
        {"frames 3\n", "runs/t.scenario:1:1: not a scenario"},
        {"kovra-scenario 9\n", ":1:16: unsupported version \"9\""},
        {head + "speed 3\n", "runs/t.scenario:3:1: unknown keyword \"speed\""},
        {head + "frames 5\n", ":3:1: \"frames\" is given twice (first at line 2)"},
        {"kovra-scenario 1\nframes 0\n", ":2:8: \"0\" is out of range (1 to 1000000)"},
        {head + "time-step 0\n", ":3:11: the time step must be above 0"},
        {head + "time-step fast\n", ":3:11: \"fast\" is not a number"},
        {"kovra-scenario 1\nvehicle sedan.vehicle\n", ":2:1: \"frames\" must be given before"},
        {head, "runs/t.scenario: no vehicle"},
        {"kovra-scenario 1\n", "runs/t.scenario: no \"frames\" line"},
        {head + "key 0 gas 1\n", ":3:1: \"key\" belongs to a vehicle"},
        {car + "frames 4\n", ":4:1: \"frames\" describes the whole run"},
        {head + "vehicle nowhere.vehicle\n",
         ":3:9: vehicle scene \"nowhere.vehicle\" is found neither beside the scenario nor in"},
        {head + "vehicle sedan.vehicle extra\n", ":3:23: unexpected \"extra\""},
        {car + "driver robot\n", ":4:8: unknown driver \"robot\" (none, ped or player)"},
        {car + "driver player\nvehicle sedan.vehicle\ndriver player\n",
         ":6:8: there is already a player (line 4)"},
        {car + "heading 1 2\n", ":4:11: unexpected \"2\""},
        {car + "driver-enters 100\n", ":4:15: \"100\" is out of range (0 to 99)"},
        {car + "position 1 2\n", ":4: \"position\" needs 3 numbers, found 2 values"},
        {car + "position 1 2 1e9\n", ":4:14: \"1e9\" is out of range"},
        {car + "key 5 steer 1\nkey 5 gas 1\n", ":5:5: key frame 5 does not come after"},
        {car + "key 100 gas 1\n", ":4:5: \"100\" is out of range (0 to 99)"},
        {car + "key 5\n", ":4: \"key\" needs a frame and at least one input and value"},
        {car + "key 5 throttle 1\n", ":4:7: unknown input \"throttle\""},
        {car + "key 5 gas 1 gas 0\n", ":4:13: \"gas\" is set twice in one key"},
        {car + "key 5 gas 1 brake\n", ":4:13: \"brake\" needs a value"},
        {car + "key 5 gas 2\n", ":4:11: \"2\" is out of range (-1 to 1)"},
        {car + "key 5 steer nan\n", ":4:13: \"nan\" is not a finite number"},
        {car + "key 5 gear 2.5\n", ":4:12: \"2.5\" is not a whole number"},
        {car + "key 5 hand-brake 2\n", ":4:18: \"2\" is out of range (0 to 1)"},
        {head + "picture 100\nvehicle sedan.vehicle\n",
         ":3:9: picture frame 100 is past the last frame (99)"},
        {head + "picture 1 2\npicture 2\nvehicle sedan.vehicle\n",
         ":4:9: picture frame 2 is listed twice (first at line 3)"},
        {head + "picture\n", ":3: \"picture\" needs one or more frame numbers"},
        {head + "type 5\n", ":3: \"type\" needs a frame and a text, found 1 values"},
        {head + "press 5 enter\n", ":3:9: unknown key \"enter\" (a virtual-key code"},
        {head + "press 5 300\n", ":3:9: unknown key \"300\""},
        {head + "press 5 up 0\n", ":3:12: \"0\" is out of range (1 to 1000000)"},
        {head + "press 5 up 2 3\n", ":3:14: unexpected \"3\""},
        {head + "mouse 5 1\n", ":3: \"mouse\" needs a frame and 2 numbers"},
        {head + "mouse 5 1 1e6\n", ":3:11: \"1e6\" is out of range"},
        {head + "press 100 tab\nvehicle sedan.vehicle\n", ":3:7: \"press\" frame 100 is past the last frame (99)"},
        {car + "type 5 kovra\n", ":4:1: \"type\" describes the whole run"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(ParseText(c.text, &error)) << c.text;
        EXPECT_NE(error.find(c.message), std::string::npos)
            << "text:\n"
            << c.text << "gave: " << error << "\nwanted: " << c.message;
    }

    // A broken vehicle scene: the scenario's line, then the scene's own message.
    const fs::path dir = fs::temp_directory_path() / "kovra-scenario-test";
    fs::create_directories(dir);
    std::ofstream(dir / "broken.vehicle") << "kovra-vehicle 1\nid 3\nname b\ntype car\n"
                                          << "frame wheel\nparent dash\n";
    std::string error;
    EXPECT_FALSE(ParseText(head + "vehicle broken.vehicle\n", &error, dir));
    EXPECT_NE(error.find("t.scenario:3:9: the vehicle scene does not load: "), std::string::npos)
        << error;
    EXPECT_NE(error.find("broken.vehicle:6:8: unknown parent frame \"dash\""), std::string::npos)
        << error;
}

TEST(Scenario, ThePlayersTypingKeysAndMouseGoByFrame) {
    std::string error;
    const std::optional<Scenario> s = ParseText(
        "kovra-scenario 1\nframes 50\n"
        "type 3 kovra\ntype 3 !\ntype 9 two words\n"
        "press 4 right 3\npress 5 a\npress 5 7\npress 6 38\npress 6 shift 10\n"
        "mouse 2 10 -5\nmouse 2 1.5 0\n"
        "vehicle sedan.vehicle\n",
        &error);
    ASSERT_TRUE(s) << error;
    EXPECT_EQ(s->TypedAt(3), "kovra!");
    EXPECT_EQ(s->TypedAt(9), "two words");
    EXPECT_EQ(s->TypedAt(4), "");
    for (int frame : {3, 4, 6, 7}) EXPECT_EQ(s->KeyboardAt(frame)[39] != 0, frame >= 4 && frame <= 6) << frame;
    const auto five = s->KeyboardAt(5);
    EXPECT_EQ(five['A'], 0x80);
    EXPECT_EQ(five['7'], 0x80);
    EXPECT_EQ(five[7], 0);
    EXPECT_EQ(s->KeyboardAt(6)[38], 0x80);
    EXPECT_EQ(s->KeyboardAt(49)[16], 0);  // shift was let go at frame 16
    float dx = 0.0f, dy = 0.0f;
    s->MouseAt(2, dx, dy);
    EXPECT_FLOAT_EQ(dx, 11.5f);
    EXPECT_FLOAT_EQ(dy, -5.0f);
    s->MouseAt(3, dx, dy);
    EXPECT_EQ(dx, 0.0f);

    EXPECT_EQ(Scenario::KeyCode("backspace"), 8);
    EXPECT_EQ(Scenario::KeyCode("control"), 17);
    EXPECT_EQ(Scenario::KeyCode("z"), 'Z');
    EXPECT_EQ(Scenario::KeyCode("9"), '9');
    EXPECT_EQ(Scenario::KeyCode("09"), 9);
    EXPECT_EQ(Scenario::KeyCode("255"), 255);
    EXPECT_EQ(Scenario::KeyCode("-1"), -1);
    EXPECT_EQ(Scenario::KeyCode("Up"), -1);  // names are case-sensitive
    EXPECT_EQ(Scenario::KeyCode("?"), -1);

    const std::optional<Scenario> menu = Scenario::Load(BuiltInScenesDirectory() / "menu.scenario", &error);
    ASSERT_TRUE(menu) << error;
    EXPECT_EQ(menu->TypedAt(menu->typing.front().frame), "kovra");
}

TEST(Scenario, FuzzedScenariosNeverCrash) {
    std::string seed, error;
    ASSERT_TRUE(ReadSceneTextFile(BuiltInScenesDirectory() / "default-car.scenario", 1u << 20, seed,
                                  error));
    const std::string pieces[] = {"key", " 5", "gear",   "nan", "-",
                                  "\n",  "#",  "player", "1e9", "vehicle"};
    std::mt19937 rng(99);
    for (int i = 0; i < 600; ++i) {
        std::string text = seed;
        for (int e = 0; e < 3 && !text.empty(); ++e) {
            const std::size_t at = rng() % text.size();
            switch (rng() % 4) {
                case 0:
                    text[at] = static_cast<char>(rng() % 256);
                    break;
                case 1:
                    text.erase(at, 1 + rng() % 10);
                    break;
                case 2:
                    text.insert(at, pieces[rng() % std::size(pieces)]);
                    break;
                default:
                    text.resize(at);
                    break;
            }
        }
        const std::optional<Scenario> s = ParseText(text, &error);
        if (!s) {
            EXPECT_EQ(error.rfind("runs/t.scenario", 0), 0u) << error;
            continue;
        }
        for (int f = -1; f <= s->frameCount; f += 37) {
            const VehicleState v = s->InputsAt(0, f);
            EXPECT_TRUE(std::isfinite(v.steerAngle) && std::isfinite(v.gasPedal));
        }
    }
}

}  // namespace
}  // namespace kovra::sim
