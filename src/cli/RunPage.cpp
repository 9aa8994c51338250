#include "cli/RunPage.h"

#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "cli/RunTimeline.h"
#include "kovra/config/FileReplace.h"

namespace kovra::cli {

namespace {

using Json = nlohmann::ordered_json;

std::string Base64(const std::vector<unsigned char>& bytes) {
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t left = bytes.size() - i;
        const unsigned int group = (static_cast<unsigned int>(bytes[i]) << 16) |
                                   (left > 1 ? static_cast<unsigned int>(bytes[i + 1]) << 8 : 0u) |
                                   (left > 2 ? static_cast<unsigned int>(bytes[i + 2]) : 0u);
        out += kDigits[(group >> 18) & 63];
        out += kDigits[(group >> 12) & 63];
        out += left > 1 ? kDigits[(group >> 6) & 63] : '=';
        out += left > 2 ? kDigits[group & 63] : '=';
    }
    return out;
}

std::string Dump(const Json& json) { return json.dump(-1, ' ', false, Json::error_handler_t::replace); }

}  // namespace

RunPage::RunPage(float timeStep, std::vector<int> pictureFrames)
    : timeStep_(timeStep), pictureFrames_(std::move(pictureFrames)) {}

void RunPage::AddVehicle(const std::string& model, const std::string& glbFile, const std::vector<unsigned char>& glb,
                         const std::vector<std::string>& controlFrames, const RunTimeline& timeline) {
    vehicles_.push_back("{\"model\":" + Dump(model) + ",\"file\":" + Dump(glbFile) +
                        ",\"controlFrames\":" + Dump(controlFrames) + ",\"timeline\":" + timeline.Json() +
                        ",\"glb\":\"" + Base64(glb) + "\"}");
}

std::string RunPage::DataJson(const std::string& reportJson) const {
    const Json report = Json::parse(reportJson, nullptr, false);
    const std::string live = liveToken_.empty() ? "null" : "{\"token\":" + Dump(liveToken_) + "}";
    std::string data = "{\"live\":" + live + ",\"timeStep\":" + Dump(timeStep_) + ",\"pictureFrames\":" + Dump(pictureFrames_) +
                       ",\"report\":" + (report.is_discarded() ? "null" : Dump(report)) + ",\"vehicles\":[";
    for (std::size_t i = 0; i < vehicles_.size(); ++i) data += (i ? "," : "") + vehicles_[i];
    data += "]}";
    // "<" stands only inside strings in JSON, where \u003c is the same text.
    std::string escaped;
    escaped.reserve(data.size());
    for (const char c : data) {
        if (c == '<') escaped += "\\u003c";
        else escaped += c;
    }
    return escaped;
}

std::string RunPage::Fill(const std::string& pageTemplate, const std::string& dataJson, std::string* error) {
    const std::string placeholder = kRunDataPlaceholder;
    const std::size_t at = pageTemplate.find(placeholder);
    if (at == std::string::npos || pageTemplate.find(placeholder, at + 1) != std::string::npos) {
        if (error) *error = "the page template has no single place for the run's data";
        return {};
    }
    return pageTemplate.substr(0, at) + dataJson + pageTemplate.substr(at + placeholder.size());
}

bool RunPage::Save(const std::filesystem::path& path, const std::filesystem::path& pageTemplate,
                   const std::string& reportJson, std::string* error) const {
    std::ifstream in(pageTemplate, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    if (!in || text.str().empty()) {
        if (error) {
            *error = "the page template " + pageTemplate.string() +
                     " is missing: it is built with node (sh scripts/install-deps.sh, then make build)";
        }
        return false;
    }
    const std::string page = Fill(text.str(), DataJson(reportJson), error);
    if (page.empty()) return false;
    if (!replaceFileContents(path, page)) {
        if (error) *error = "cannot write " + path.string();
        return false;
    }
    return true;
}

}  // namespace kovra::cli
