#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace kovra::cli {

class RunTimeline;

// The run as one page, index.html, that a browser opens from the file system
// with no network and no file beside it: the page's template, with three.js
// and its own script already bundled into it as one classic script (built
// from src/web/report), gets the run's data as JSON in a script element —
// every vehicle's .glb (base64), its timeline and marks, the report.
class RunPage {
public:
    RunPage(float timeStep, std::vector<int> pictureFrames);

    // One vehicle: its model's name, its .glb's file name and bytes, the
    // frames its handles bound, and what it did frame by frame.
    void AddVehicle(const std::string& model, const std::string& glbFile, const std::vector<unsigned char>& glb,
                    const std::vector<std::string>& controlFrames, const RunTimeline& timeline);

    // Makes the page the live one of `kovra tune`: it follows the game's
    // frames from the server that serves it, sending the session's token.
    void SetLive(const std::string& token) { liveToken_ = token; }

    // The run's data as the page reads it, with every "<" escaped so that
    // no text of the run can end the script element it sits in.
    std::string DataJson(const std::string& reportJson) const;

    // The template with the data put in; empty, with the reason in *error,
    // when the template has no place for it.
    static std::string Fill(const std::string& pageTemplate, const std::string& dataJson,
                            std::string* error = nullptr);

    // Writes the page through a temporary file, from a template the build
    // made (RunPageTemplate()).
    bool Save(const std::filesystem::path& path, const std::filesystem::path& pageTemplate,
              const std::string& reportJson, std::string* error = nullptr) const;

private:
    float timeStep_;
    std::vector<int> pictureFrames_;
    std::vector<std::string> vehicles_;  // each vehicle's JSON object
    std::string liveToken_;
};

// The page template that the build bundles (KOVRA_RUN_PAGE_TEMPLATE).
std::filesystem::path RunPageTemplate();

// The text in the template that the run's data replaces.
inline constexpr const char* kRunDataPlaceholder = "\"KOVRA_RUN_DATA\"";

}  // namespace kovra::cli
