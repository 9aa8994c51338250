#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/ScreenPicture.h"
#include "cli/SvgPicture.h"
#include "kovra/ik/Geometry.h"
#include "sim/SimHost.h"

namespace kovra::cli {
namespace {

// Element names in order of opening and closing; false when a closing tag
// does not match the open one or a tag is left open.
bool BalancedTags(const std::string& svg, std::string& why) {
    std::vector<std::string> open;
    std::size_t i = 0;
    while ((i = svg.find('<', i)) != std::string::npos) {
        const std::size_t end = svg.find('>', i);
        if (end == std::string::npos) {
            why = "unterminated tag";
            return false;
        }
        const std::string tag = svg.substr(i + 1, end - i - 1);
        i = end + 1;
        if (tag.empty() || tag[0] == '?' || tag[0] == '!') continue;
        if (tag[0] == '/') {
            const std::string name = tag.substr(1);
            if (open.empty() || open.back() != name) {
                why = "</" + name + "> closes " + (open.empty() ? "nothing" : open.back());
                return false;
            }
            open.pop_back();
        } else if (tag.back() != '/') {
            open.push_back(tag.substr(0, tag.find_first_of(" \n")));
        }
    }
    if (!open.empty()) why = "<" + open.back() + "> is never closed";
    return open.empty();
}

class SvgPictureTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(host.AddVehicleModel(sim::MakeSedanModel()));
        FrameMatrix world;
        RotateFrame(world, AxisZ, -60.0f, Combine::Replace);
        world.pos = {30.0f, 4.0f, 2.0f};
        car = host.CreateVehicle(400, world);
        driver = host.CreatePed();
        ASSERT_TRUE(host.SeatPed(driver, car, true));
        host.AnimatePed(driver);
        // Two debug lines, one of them half transparent green.
        host.drawnLines = {{world.pos, 0xff0000ffu},
                           {world.pos + Vector3{0, 0, 1}, 0xff0000ffu},
                           {world.pos, 0x8000ff00u},
                           {world.pos + Vector3{1, 0, 0}, 0x8000ff00u}};
    }

    sim::SimHost host;
    CVehicle* car = nullptr;
    CPed* driver = nullptr;
};

TEST_F(SvgPictureTest, SnapshotCarriesFramesBonesAndLines) {
    const PictureSnapshot snap = CaptureSnapshot(host, car, driver, "sedan");
    ASSERT_EQ(snap.controls.size(), 6u);
    EXPECT_EQ(snap.controls[0].name, "ik_steer");
    EXPECT_TRUE(snap.controls[0].hasBox);
    EXPECT_FLOAT_EQ(snap.controls[0].boxMax.x, 0.19f);
    EXPECT_EQ(snap.bones.size(), static_cast<std::size_t>(kNodeCount - 1));
    ASSERT_EQ(snap.lines.size(), 2u);
    EXPECT_EQ(snap.lines[1].colour, 0x8000ff00u);
    // The hand bone ends where the skeleton puts the right hand.
    const auto hand =
        std::find_if(snap.bones.begin(), snap.bones.end(),
                     [](const PictureSnapshot::Bone& b) { return b.node == kRightHandNode; });
    ASSERT_NE(hand, snap.bones.end());
    EXPECT_EQ(hand->to, host.Skeleton(driver)->Matrix(kRightHandNode)->pos);

    const PictureSnapshot empty = CaptureSnapshot(host, car, nullptr, "no driver");
    EXPECT_TRUE(empty.bones.empty());
}

TEST_F(SvgPictureTest, DocumentIsWellFormedLabelledAndDeterministic) {
    PictureSnapshot snap = CaptureSnapshot(host, car, driver, "sedan <400> & \"friends\"");
    snap.subtitle = "frame 12";
    const std::string svg = RenderSvg(snap);
    std::string why;
    EXPECT_TRUE(BalancedTags(svg, why)) << why;
    EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
    EXPECT_NE(svg.find("sedan &lt;400&gt; &amp; &quot;friends&quot;"), std::string::npos);
    for (const char* name :
         {"ik_steer", "ik_gear_stick", "ik_hand_brake", "ik_gas", "ik_brake", "ik_clutch"}) {
        EXPECT_NE(svg.find(std::string(">") + name + "<"), std::string::npos) << name;
    }
    for (const char* text : {"Side", "From behind", "Top", " m<", "right arm", "left leg",
                             "stroke=\"#ff0000\"", "stroke-opacity=\"0.502\""}) {
        EXPECT_NE(svg.find(text), std::string::npos) << text;
    }
    for (const char* bad : {"nan", "inf", ",5"}) EXPECT_EQ(svg.find(bad), std::string::npos) << bad;

    EXPECT_EQ(RenderSvg(snap), svg) << "same snapshot, same text";
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") || std::setlocale(LC_ALL, "fr_FR.UTF-8")) {
        EXPECT_EQ(RenderSvg(snap), svg) << "the locale does not change the numbers";
        std::setlocale(LC_ALL, "C");
    }

    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / "kovra-svg-test" / "sedan.svg";
    std::filesystem::create_directories(file.parent_path());
    ASSERT_TRUE(WriteSvg(snap, file, &why)) << why;
    EXPECT_EQ(std::filesystem::file_size(file), svg.size());
    EXPECT_FALSE(WriteSvg(snap, file.parent_path() / "no-such-dir" / "x.svg", &why));
}

TEST_F(SvgPictureTest, BrokenSnapshotsStillGiveAValidPicture) {
    PictureSnapshot snap = CaptureSnapshot(host, car, driver, "broken");
    snap.bones[3].to.x = NAN;
    snap.controls[2].world.pos.y = INFINITY;
    snap.lines.push_back({{NAN, 0, 0}, {0, 0, 0}, 0xffffffffu});
    snap.lines.push_back({{1e30f, 0, 0}, {-1e30f, 0, 0}, 0xffffffffu});
    snap.controls.push_back({"far", FrameMatrix{}, true, {0, 0, 0}, {5000, 5000, 5000}});
    snap.vehicleWorld.right = {0, 0, 0};  // singular: drawn as if at the origin
    const std::string svg = RenderSvg(snap);
    std::string why;
    EXPECT_TRUE(BalancedTags(svg, why)) << why;
    EXPECT_EQ(svg.find("nan"), std::string::npos);
    EXPECT_EQ(svg.find("inf"), std::string::npos);

    EXPECT_TRUE(BalancedTags(RenderSvg(PictureSnapshot{}), why)) << why;
}

TEST(ScreenPicture, TextIsDrawnInTheColoursOfItsCodesAtTheScreensSize) {
    sim::SimHost host;
    host.SetScreenSize(800, 600);
    TextStyle style;
    style.scaleX = 0.6f;
    style.scaleY = 1.2f;
    style.colour = 0x64ffffffu;  // an unfocused menu: alpha 100
    host.SetTextStyle(style);
    host.DrawText(100.0f, 50.0f, "~w~~g~~h~X: ~y~~h~0.05 & <more>");
    host.DrawRect(97.5f, 20.0f, 200.0f, 25.0f, 0xff000000u);
    host.ShowTimedMessage("~g~~h~~h~Config exported!~n~~g~~h~~h~C:\\game\\a.ini", 5000);
    const ScreenSnapshot snap = CaptureScreen(host, "frame 7");
    ASSERT_TRUE(snap.HasDrawing());
    const std::string svg = RenderScreenSvg(snap);
    std::string why;
    EXPECT_TRUE(BalancedTags(svg, why)) << why;
    EXPECT_NE(svg.find("width=\"800\" height=\"600\""), std::string::npos);
    // The label in highlighted green, the value in highlighted yellow, each
    // where the game measured it, both at the style's alpha; the shadow first.
    const std::size_t label = svg.rfind(">X: </text>");
    const std::size_t value = svg.rfind(">0.05 &amp; &lt;more&gt;</text>");
    ASSERT_NE(label, std::string::npos) << svg;
    ASSERT_NE(value, std::string::npos) << svg;
    const std::string green = svg.substr(svg.rfind("<text", label), label - svg.rfind("<text", label));
    EXPECT_NE(green.find("translate(100 63)"), std::string::npos) << green;
    EXPECT_NE(green.find("fill=\"#799a72\""), std::string::npos) << green;
    EXPECT_NE(green.find("fill-opacity=\"0.392\""), std::string::npos) << green;
    const std::string yellow = svg.substr(svg.rfind("<text", value), value - svg.rfind("<text", value));
    EXPECT_NE(yellow.find("translate(118 63)"), std::string::npos) << yellow;  // 3 glyphs of 6
    EXPECT_LT(svg.find("translate(101 64)"), label);  // the shadow, one pixel off
    EXPECT_NE(svg.find("<rect x=\"97.5\" y=\"20\" width=\"102.5\" height=\"5\" fill=\"#000000\" "
                       "fill-opacity=\"1\"/>"),
              std::string::npos);
    EXPECT_NE(svg.find(">Config exported!</text>"), std::string::npos);
    EXPECT_NE(svg.find(">C:\\game\\a.ini</text>"), std::string::npos);
    EXPECT_NE(svg.find(">frame 7</text>"), std::string::npos);
    EXPECT_EQ(RenderScreenSvg(CaptureScreen(host, "frame 7")), svg);

    sim::SimHost blank;
    EXPECT_FALSE(CaptureScreen(blank, "").HasDrawing());
    EXPECT_TRUE(BalancedTags(RenderScreenSvg(CaptureScreen(blank, "")), why)) << why;
}

}  // namespace
}  // namespace kovra::cli
