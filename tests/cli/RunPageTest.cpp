#include "cli/RunPage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "cli/RunTimeline.h"
#include "cli/ScenarioRun.h"

namespace kovra::cli {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

std::string ReadPage(const fs::path& path) {
    std::stringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

TEST(RunPage, TheDataCarriesTheGlbAndCannotEndItsScriptElement) {
    RunPage page(1.0f, {30, 60});
    RunTimeline timeline;
    page.AddVehicle("</script><b>", "a.glb", {'g', 'l', 'T', 'F', 0xff}, {"ik_steer"}, timeline);
    const std::string data = page.DataJson(R"({"scenario": "a </script> b"})");
    EXPECT_EQ(data.find('<'), std::string::npos);
    const Json json = Json::parse(data);
    EXPECT_EQ(json["report"]["scenario"], "a </script> b");
    EXPECT_EQ(json["pictureFrames"], Json::array({30, 60}));
    const Json& vehicle = json["vehicles"][0];
    EXPECT_EQ(vehicle["model"], "</script><b>");
    EXPECT_EQ(vehicle["glb"], "Z2xURv8=");  // base64 of the five bytes, padded
    EXPECT_EQ(vehicle["controlFrames"], Json::array({"ik_steer"}));
    EXPECT_EQ(vehicle["timeline"]["frames"], 0);
}

TEST(RunPage, TheTemplateNeedsExactlyOnePlaceForTheData) {
    const std::string slot = kRunDataPlaceholder;
    std::string error;
    EXPECT_EQ(RunPage::Fill("<p>" + slot + "</p>", "{}", &error), "<p>{}</p>");
    EXPECT_TRUE(RunPage::Fill("<p></p>", "{}", &error).empty());
    EXPECT_NE(error.find("no single place"), std::string::npos);
    EXPECT_TRUE(RunPage::Fill(slot + slot, "{}", &error).empty());
}

TEST(RunPage, ARunWritesThePageBesideItsGlbAndSaysWhenTheTemplateIsMissing) {
    const fs::path out = fs::temp_directory_path() / "kovra-run-page-test";
    fs::remove_all(out);
    fs::create_directories(out);
    const fs::path pageTemplate = out / "template.html";
    std::ofstream(pageTemplate) << "<script type=\"application/json\">" << kRunDataPlaceholder << "</script>\n";

    RunOptions options;
    options.outDir = out / "run";
    options.pictures = false;
    options.html = true;
    options.pageTemplate = pageTemplate;
    std::string error;
    const auto report = RunScenario(options, &error);
    ASSERT_TRUE(report) << error;
    EXPECT_EQ(report->page, options.outDir / "index.html");
    ASSERT_EQ(report->gltfFiles.size(), 1u);  // --html brings the .glb with it
    const std::string page = ReadPage(report->page);
    const std::size_t open = page.find('>') + 1;
    const Json data = Json::parse(page.substr(open, page.rfind("</script>") - open));
    ASSERT_EQ(data["vehicles"].size(), 1u);
    const Json& vehicle = data["vehicles"][0];
    EXPECT_EQ(vehicle["file"], report->gltfFiles[0].filename().string());
    EXPECT_EQ(vehicle["timeline"]["frames"], report->frames);
    EXPECT_EQ(vehicle["timeline"]["steerAngle"].size(), static_cast<std::size_t>(report->frames));
    EXPECT_EQ(vehicle["timeline"]["handles"].size(), report->vehicles[0].handles.size());
    EXPECT_EQ(data["report"]["scenario"], report->scenario);
    // The right hand turning to the gear stick between two pictures of the
    // built-in drive is marked, and nothing turns like a pop any more.
    bool handTurn = false;
    for (const Json& mark : vehicle["timeline"]["marks"]) {
        handTurn = handTurn || (mark["what"] == "hand_r" && mark["value"].get<double>() > 10.0 &&
                                mark["peak"].get<int>() > 470 && mark["peak"].get<int>() < 900);
        if (mark["kind"] == "turn") {
            EXPECT_LT(mark["value"].get<double>(), 25.0) << mark.dump();
        }
    }
    EXPECT_TRUE(handTurn);

    options.pageTemplate = out / "missing.html";
    EXPECT_FALSE(RunScenario(options, &error));
    EXPECT_NE(error.find("missing.html"), std::string::npos);
    fs::remove_all(out);
}

}  // namespace
}  // namespace kovra::cli
