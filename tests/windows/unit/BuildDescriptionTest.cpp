// Build descriptions read from their INI files: the test host's two files
// describe what its code and records are (the constants the test host is
// built against), and a faulty description is refused whole with the line.
#include <gtest/gtest.h>

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
        o << "routine " << at.address << " " << static_cast<int>(at.shape) << "\n";
    }
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

}  // namespace
}  // namespace kovra::windows
