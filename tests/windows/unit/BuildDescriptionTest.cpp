// Build descriptions read from their INI files: the test host's two files
// describe what its code and records are (the constants the test host is
// built against), and a faulty description is refused whole with the line.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

#include "windows/BuildDescription.h"
#include "windows/TestHostBuilds.h"

namespace kovra::windows {
namespace {

std::string ReadFile(const std::string& name) {
    std::ifstream in(std::string(KOVRA_SOURCE_DIR) + "/src/testhost/kovra-builds/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Text(const Location& l) {
    std::ostringstream out;
    out << l.address << "/" << l.hopCount << "/" << l.hops[0] << "/" << l.hops[1];
    return out.str();
}

// Every value of a description, one per line, so that a difference shows as one.
std::string Describe(const HostBuild& b) {
    std::ostringstream o;
    const auto t = [](FieldType type) { return static_cast<int>(type); };
    o << b.name << "\n" << b.preferredBase << " " << b.identity << " " << b.startupByte << " "
      << static_cast<int>(b.scriptHandle) << "\nidentity";
    for (const std::uint8_t byte : b.identityBytes) o << " " << int{byte};
    o << "\n";
    for (const HookSite& s : b.sites) {
        o << "site " << static_cast<int>(s.event) << " " << int{s.opcode} << " " << static_cast<int>(s.convention)
          << " " << s.site << " " << s.callee << "\n";
    }
    for (const PoolLayout& p : {b.vehiclePool, b.pedPool}) {
        o << "pool " << p.pointer << " " << p.objects << " " << p.flags << " " << p.capacity << " " << p.objectSize << "\n";
    }
    const Globals& g = b.globals;
    o << "globals " << Text(g.playerPed) << " " << Text(g.cameraPosition) << " " << Text(g.timeStep) << " "
      << Text(g.ikSuspended) << " " << Text(g.screenWidth) << " " << Text(g.screenHeight) << " "
      << Text(g.typedChars) << " " << g.typedCharCapacity << " " << Text(g.mouseDx) << " " << Text(g.mouseDy) << " "
      << Text(g.modelTable) << " " << g.modelCount << "\n";
    const ModelLayout& m = b.model;
    o << "model " << m.type << " " << t(m.typeType) << " " << m.name << " " << m.nameLength << " " << m.structure << " "
      << m.frontSeat << " " << m.handlebar << "\n";
    const VehicleLayout& v = b.vehicle;
    o << "vehicle " << v.modelId << " " << t(v.modelIdType) << " " << v.driver << " " << v.matrix << " " << v.clump
      << " " << v.handling << " " << v.steerAngle << " " << v.gasPedal << " " << v.brakePedal << " " << v.speed << " "
      << v.lean << " " << v.barAngle << " " << v.moveSpeed << " " << v.handBrake << " " << t(v.handBrakeType) << " "
      << v.gear << " " << t(v.gearType) << " " << v.stateByte << " " << t(v.stateByteType) << " " << v.audioFlags
      << " " << t(v.audioFlagsType) << " " << v.wheelsOnGround << " " << t(v.wheelsOnGroundType) << " "
      << v.audioValue << " " << t(v.audioValueType) << " " << v.bikeBodyFrame << " " << v.bikeSteeringFrame << " "
      << v.drawnBarAngle << " " << v.handlingAnimGroup << " " << t(v.animGroupType) << " " << v.handlingLeanLimit
      << "\n";
    const PedLayout& p = b.ped;
    o << "ped " << p.clump << " " << p.vehicle << " " << p.state << " " << t(p.stateType) << " " << p.inVehicle << " "
      << t(p.inVehicleType) << " " << p.entityFlags << " " << p.primaryTasks << " " << p.secondaryTasks << " "
      << p.taskType << " " << p.firstAnimation << " " << p.animationNext << " " << p.animationNameKey << " "
      << p.frameData << " " << p.frameDataStride << "\n";
    const ClumpLayout& c = b.clump;
    o << "clump " << c.rootFrame << " " << c.hierarchy << " " << c.nodeCount << " " << c.nodeIds << " " << c.matrices
      << "\n";
    const FrameLayout& f = b.frame;
    o << "frame " << f.modelling << " " << f.firstChild << " " << f.nextSibling << " " << f.name << " " << f.nameLength
      << " " << f.renderable << " " << f.vertexCount << " " << f.vertices << "\n";
    o << "audio " << b.audioParamsVehicle << " " << b.audioEntityVehicle << "\n";
    const Routines& r = b.routines;
    for (const RoutineAt& at : {r.updateSkeleton, r.frameWorld, r.updateFrame, r.nameKey, r.runScript, r.setTextStyle,
                                r.drawText, r.textWidth, r.drawRect, r.renderState, r.setRenderState,
                                r.drawPrimitives, r.timedMessage}) {
        o << "routine " << at.address << " " << static_cast<int>(at.shape) << " order";
        for (const std::uint8_t n : at.order) o << " " << int{n};
        o << "\n";
    }
    const auto field = [](const RecordField& value) {
        return " " + std::to_string(value.offset) + "/" + std::to_string(static_cast<int>(value.type));
    };
    const TextStyleLayout& s = b.textStyle;
    o << "vertex " << b.vertex.size << " " << b.vertex.position << field(b.vertex.colour) << "\n";
    o << "text-style " << s.size << field(s.scaleX) << field(s.scaleY) << field(s.wrapWidth) << field(s.colour)
      << field(s.shadowColour) << field(s.align) << field(s.background) << field(s.font) << field(s.proportional)
      << field(s.shadow) << "\n";
    o << "script-argument " << b.scriptArg.size << field(b.scriptArg.intValue) << field(b.scriptArg.floatValue) << "\n";
    return o.str();
}

TEST(BuildDescription, TheTestHostsFilesDescribeItsCodeAndRecords) {
    for (const auto& [file, expected] : {std::pair{"testhost-1.0.ini", &kTestHostBuild10},
                                         std::pair{"testhost-1.1.ini", &kTestHostBuild11}}) {
        std::string error;
        const auto d = BuildDescription::Read(ReadFile(file), file, error);
        ASSERT_TRUE(d) << error;
        EXPECT_EQ(Describe(d->build()), Describe(*expected)) << file;
        EXPECT_EQ(d->Where("Globals.CameraPosition"), std::string(file) + ":53");
        EXPECT_EQ(d->SiteWhere(4), std::string(file) + ":20") << "the drivers' IK jump";
    }
}

// One fault in an otherwise good description: refused whole, and the
// message names the file, the line and what is wrong.
TEST(BuildDescription, AFaultyDescriptionIsRefusedWithItsFileAndLine) {
    const std::string good = ReadFile("testhost-1.0.ini");
    const auto refusal = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        const std::size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        text.replace(at, from.size(), to);
        std::string error;
        EXPECT_EQ(BuildDescription::Read(text, "kovra-builds\\x.ini", error), nullptr) << to;
        return error;
    };
    EXPECT_EQ(refusal("Gear = 57 uint8", "Gear = 57 byte"),
              "kovra-builds\\x.ini:86: Gear: \"byte\" is no type (int8, uint8, int16, uint16, int32, uint32)");
    EXPECT_EQ(refusal("Frame = call cdecl", "Frame = cal cdecl"), "kovra-builds\\x.ini:29: \"cal\" is neither call nor jump");
    EXPECT_EQ(refusal("EngineReady = call cdecl", "EngineReady = call thiscall"),
              "kovra-builds\\x.ini:19: \"thiscall\" is no shape this event's routine can have");
    EXPECT_EQ(refusal("DrawText = 0x00401830 cdecl", "DrawText = 0x00401830 thiscall"),
              "kovra-builds\\x.ini:140: DrawText: \"thiscall\" is no shape this routine can have (cdecl, stdcall)");
    EXPECT_EQ(refusal("CameraPosition = 0x0340000C", "CameraPosition = [0x0340000C+4"),
              "kovra-builds\\x.ini:53: CameraPosition: \"[0x0340000C+4\" is no place");
    EXPECT_EQ(refusal("StartupByte = 0x00401041", "StartupByte = 0x401041g"),
              "kovra-builds\\x.ini:11: StartupByte: \"0x401041g\" is no address");
    EXPECT_EQ(refusal("IdentityBytes = B8 52", "IdentityBytes = B8 5"),
              "kovra-builds\\x.ini:10: IdentityBytes: \"5\" is no byte in hexadecimal");
    EXPECT_EQ(refusal("Matrices = 8\r\n", ""), "kovra-builds\\x.ini:112: [Clump] lacks Matrices");
    EXPECT_EQ(refusal("[Audio]", "[Sound]"), "kovra-builds\\x.ini:128: no section [Sound]");
    EXPECT_EQ(refusal("Driver = 4", "Driver 4"), "kovra-builds\\x.ini:74: not a \"Key = value\" line");
    EXPECT_EQ(refusal("Driver = 4", "Driver = 4\r\nDriver = 8"), "kovra-builds\\x.ini:75: a second Driver");
    EXPECT_EQ(refusal("Driver = 4", "Pilot = 4"), "kovra-builds\\x.ini:74: [Vehicle] has no key Pilot");
}

TEST(BuildDescription, AVariableMayLieBehindPointers) {
    std::string text = ReadFile("testhost-1.0.ini");
    text.replace(text.find("CameraPosition = 0x0340000C"), 27, "CameraPosition = [[0x03400010]+4]+12");
    std::string error;
    const auto d = BuildDescription::Read(text, "x.ini", error);
    ASSERT_TRUE(d) << error;
    const Location& camera = d->build().globals.cameraPosition;
    EXPECT_EQ(camera.address, 0x03400010u);
    EXPECT_EQ(camera.hopCount, 2);
    EXPECT_EQ(camera.hops[0], 4);
    EXPECT_EQ(camera.hops[1], 12);
}

// A routine's line may give the order in which the routine takes the
// signature's arguments: each of them exactly once; thiscall only when the
// first it takes can go in ECX.
TEST(BuildDescription, ARoutinesArgumentOrderIsAPermutationOfItsSignature) {
    const std::string good = ReadFile("testhost-1.0.ini");
    const auto read = [&](const std::string& line, std::string& error) {
        std::string text = good;
        const std::string from = "DrawText = 0x00401830 cdecl";
        text.replace(text.find(from), from.size(), line);
        return BuildDescription::Read(text, "x.ini", error);
    };
    std::string error;
    auto d = read("DrawText = 0x00401830 stdcall order 3 1 2", error);
    ASSERT_TRUE(d) << error;
    const RoutineAt& drawText = d->build().routines.drawText;
    EXPECT_EQ(drawText.shape, CallShape::Stdcall);
    EXPECT_EQ(drawText.order[0], 2);
    EXPECT_EQ(drawText.order[1], 0);
    EXPECT_EQ(drawText.order[2], 1);
    EXPECT_EQ(d->build().routines.drawRect.order[4], 4) << "a routine without an order takes the signature's";
    d = read("DrawText = 0x00401830 thiscall order 3 2 1", error);
    ASSERT_TRUE(d) << "the text first, in ECX: " << error;
    EXPECT_EQ(d->build().routines.drawText.shape, CallShape::Thiscall);

    const std::pair<const char*, const char*> refused[] = {
        {"DrawText = 0x00401830 cdecl order 1 2", "DrawText: the order names each of the 3 arguments once"},
        {"DrawText = 0x00401830 cdecl order 1 2 3 4", "DrawText: the order names each of the 3 arguments once"},
        {"DrawText = 0x00401830 cdecl order 1 1 2", "DrawText: argument 1 twice in the order"},
        {"DrawText = 0x00401830 cdecl order 1 2 4", "DrawText: \"4\" is no whole number from 1 to 3"},
        {"DrawText = 0x00401830 cdecl order 0 1 2", "DrawText: \"0\" is no whole number from 1 to 3"},
        {"DrawText = 0x00401830 cdecl 3 1 2",
         "DrawText: expected \"ADDRESS SHAPE\" or \"ADDRESS SHAPE order N...\""},
        {"DrawText = 0x00401830 cdecl order", "DrawText: the order names each of the 3 arguments once"},
        {"DrawText = 0x00401830 thiscall order 2 3 1",
         "DrawText: \"thiscall\" is no shape this routine can have (cdecl, stdcall)"},
    };
    for (const auto& [line, why] : refused) {
        EXPECT_EQ(read(line, error), nullptr) << line;
        EXPECT_EQ(error, std::string("x.ini:140: ") + why) << line;
    }
}

// The game's own records: without their sections the routines take the
// plugin's structures; a section there is checked whole, every value with
// its type and inside its record.
TEST(BuildDescription, TheGamesOwnRecordsAreCheckedWholeOrLeftToThePlugin) {
    const std::string good = ReadFile("testhost-1.0.ini");
    std::string error;
    const auto plain = BuildDescription::Read(good, "x.ini", error);
    ASSERT_TRUE(plain) << error;
    EXPECT_EQ(plain->build().vertex.size, 0);
    EXPECT_EQ(plain->build().textStyle.size, 0);
    EXPECT_EQ(plain->build().scriptArg.size, 0);

    // Line 1 of the added text is the line after the file's last.
    const std::size_t lines = static_cast<std::size_t>(std::count(good.begin(), good.end(), '\n'));
    const auto refusal = [&](const std::string& added) {
        std::string e;
        EXPECT_EQ(BuildDescription::Read(good + added, "x.ini", e), nullptr) << added;
        const std::size_t colon = e.find(':', e.find(':') + 1);
        const std::size_t line = std::stoul(e.substr(6, colon - 6));
        return std::to_string(line - lines) + e.substr(colon);
    };
    EXPECT_EQ(refusal("[Vertex]\nSize = 20\nPosition = 0\n"), "1: [Vertex] lacks Colour");
    EXPECT_EQ(refusal("[Vertex]\nSize = 20\nPosition = 0\nColour = 16 rgb\n"),
              "4: Colour: \"rgb\" is no type for this value (rgba, argb, bgra, abgr)");
    EXPECT_EQ(refusal("[Vertex]\nSize = 20\nPosition = 0\nColour = 16 uint32\n"),
              "4: Colour: \"uint32\" is no type for this value (rgba, argb, bgra, abgr)");
    EXPECT_EQ(refusal("[Vertex]\nSize = 20\nPosition = 12\nColour = 0 bgra\n"),
              "3: Position ends past the record's 20 bytes");
    EXPECT_EQ(refusal("[Vertex]\nSize = 8\nPosition = 0\nColour = 12 bgra\n"),
              "2: Size: \"8\" is no whole number from 16 to 256");
    EXPECT_EQ(refusal("[TextStyle]\nScaleX = 0 float\n"), "1: [TextStyle] lacks Size");
    EXPECT_EQ(refusal("[TextStyle]\nSize = 8\nScaleX = 0 int32\n"),
              "3: ScaleX: \"int32\" is no type for this value (float)");
    EXPECT_EQ(refusal("[TextStyle]\nSize = 8\nFont = 6\n"),
              "3: Font: expected \"OFFSET TYPE\" (int8, uint8, int16, uint16, int32, uint32)");
    EXPECT_EQ(refusal("[TextStyle]\nSize = 8\nShadow = 7 int16\n"), "3: Shadow ends past the record's 8 bytes");
    EXPECT_EQ(refusal("[TextStyle]\nSize = 8\nOutline = 0 uint8\n"), "3: [TextStyle] has no key Outline");
    EXPECT_EQ(refusal("[ScriptArgument]\nSize = 4\nInt = 0 float\nFloat = 0\n"),
              "3: Int: \"float\" is no type for this value (int8, uint8, int16, uint16, int32, uint32)");
    EXPECT_EQ(refusal("[ScriptArgument]\nSize = 4\nInt = 0 int32\nFloat = 2\n"),
              "4: Float ends past the record's 4 bytes");

    // Only the values a game's style has: the rest are not written.
    const auto d = BuildDescription::Read(good + "[TextStyle]\nSize = 6\nScaleX = 0\nFont = 4 int16\n", "x.ini", error);
    ASSERT_TRUE(d) << error;
    const TextStyleLayout& style = d->build().textStyle;
    EXPECT_EQ(style.size, 6);
    EXPECT_EQ(style.scaleX.offset, 0);
    EXPECT_EQ(style.scaleX.type, ValueType::Float);
    EXPECT_EQ(style.font.type, ValueType::Int16);
    EXPECT_FALSE(style.colour.present());
}

}  // namespace
}  // namespace kovra::windows
