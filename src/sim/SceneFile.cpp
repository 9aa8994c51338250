#include "sim/SceneFile.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "kovra/config/FileReplace.h"
#include "kovra/config/NumberFormat.h"
#include "kovra/ik/Geometry.h"
#include "sim/GltfScene.h"

namespace kovra::sim {

// ---- text helpers --------------------------------------------------------

std::vector<SceneLine> SplitSceneLines(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    std::vector<SceneLine> lines;
    int number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        ++number;
        std::vector<SceneToken> tokens = TokenizeSceneLine(text.substr(0, end));
        if (!tokens.empty()) lines.push_back({number, std::move(tokens)});
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

std::vector<SceneToken> TokenizeSceneLine(std::string_view line) {
    std::vector<SceneToken> tokens;
    std::size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (c == '#') break;
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
            continue;
        }
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' &&
               line[i] != '#') {
            ++i;
        }
        tokens.push_back({line.substr(start, i - start), static_cast<int>(start) + 1});
    }
    return tokens;
}

bool ReadSceneTextFile(const std::filesystem::path& path, std::size_t maxBytes, std::string& text,
                       std::string& error) {
    std::string content;
    if (!ReadSceneBytes(path, maxBytes, content, error)) return false;
    if (content.find('\0') != std::string::npos) {
        error = path.string() + ": holds a NUL byte; not a text file";
        return false;
    }
    text = std::move(content);
    return true;
}

bool ReadSceneBytes(const std::filesystem::path& path, std::size_t maxBytes, std::string& bytes,
                    std::string& error) {
    const std::string name = path.string();
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (std::filesystem::is_directory(status)) {
        error = name + ": is a directory, not a file";
        return false;
    }
    // A named pipe or a device would be read until a writer ends it, maybe never.
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        error = name + ": is not a regular file";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = name + ": cannot be opened";
        return false;
    }
    std::string content;
    std::array<char, 65536> buffer;
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const std::streamsize got = in.gcount();
        if (got <= 0) break;
        content.append(buffer.data(), static_cast<std::size_t>(got));
        if (content.size() > maxBytes) {
            error = name + ": is larger than " + std::to_string(maxBytes) +
                    " bytes; not a file this program reads";
            return false;
        }
    }
    if (in.bad()) {
        error = name + ": cannot be read";
        return false;
    }
    bytes = std::move(content);
    return true;
}

namespace {

bool ContainsNoCase(std::string_view text, std::string_view word) {
    if (word.size() > text.size()) return false;
    for (std::size_t i = 0; i + word.size() <= text.size(); ++i) {
        bool same = true;
        for (std::size_t j = 0; j < word.size() && same; ++j) {
            char c = text[i + j];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            same = c == word[j];
        }
        if (same) return true;
    }
    return false;
}

// Whether the whole token is a number in a double's range, for telling an
// out-of-range value from a malformed one.
bool ParsesAsDouble(std::string_view token) {
    if (!token.empty() && token.front() == '+') token.remove_prefix(1);
    if (token.empty()) return false;
    double value = 0.0;
    const auto result = std::from_chars(token.data(), token.data() + token.size(), value);
    return result.ec == std::errc{} && result.ptr == token.data() + token.size();
}

}  // namespace

bool ParseSceneFloat(std::string_view token, float& out, std::string& why) {
    std::string_view rest = token;
    float value = 0.0f;
    if (extractNumber(rest, value) && rest.empty()) {
        out = value;
        return true;
    }
    if (ContainsNoCase(token, "nan") || ContainsNoCase(token, "inf")) {
        why = "is not a finite number";
    } else if (ParsesAsDouble(token)) {
        why = "is out of range";
    } else if (token.find(',') != std::string_view::npos) {
        why = "is not a number (decimals take a point, values are separated by blanks)";
    } else {
        why = "is not a number";
    }
    return false;
}

bool ParseSceneInt(std::string_view token, int& out, std::string& why) {
    std::string_view rest = token;
    std::int32_t value = 0;
    if (extractInteger(rest, value) && rest.empty()) {
        out = value;
        return true;
    }
    std::string_view digits = token;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
        digits.remove_prefix(1);
    }
    const bool allDigits = !digits.empty() && std::all_of(digits.begin(), digits.end(), [](char c) {
        return c >= '0' && c <= '9';
    });
    if (allDigits) {
        why = "is out of range";
    } else if (ParsesAsDouble(token) || ContainsNoCase(token, "nan") ||
               ContainsNoCase(token, "inf")) {
        why = "is not a whole number";
    } else {
        why = "is not a number";
    }
    return false;
}

std::string FormatSceneNumber(float value) {
    if (value == 0.0f) return "0";  // also -0
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (result.ec != std::errc{}) return "0";
    return std::string(buffer, result.ptr);
}

std::string SceneMessage(const std::string& file, int line, int column,
                         const std::string& message) {
    std::string out = file;
    if (line > 0) {
        out += ":" + std::to_string(line);
        if (column > 0) out += ":" + std::to_string(column);
    }
    return out + ": " + message;
}

std::string QuotedForMessage(std::string_view text) {
    constexpr std::size_t kShown = 40;
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size() && i < kShown; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c >= 0x7f || c == '"' || c == '\\') {
            constexpr char kHex[] = "0123456789abcdef";
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    if (text.size() > kShown) out += "...";
    return out + "\"";
}

bool SceneTextReader::Fail(int line, int column, const std::string& message) {
    error_ = SceneMessage(source_, line, column, message);
    return false;
}

bool SceneTextReader::NoMore(const SceneLine& l, std::size_t expected) {
    if (l.tokens.size() <= expected) return true;
    const SceneToken& extra = l.tokens[expected];
    return Fail(l.number, extra.column,
                "unexpected " + QuotedForMessage(extra.text) + " after " +
                    QuotedForMessage(l.tokens[0].text) +
                    (expected > 1 ? " and its " + std::to_string(expected - 1) +
                                        (expected == 2 ? " value" : " values")
                                  : ""));
}

bool SceneTextReader::Once(std::map<std::string, int, std::less<>>& given, const SceneLine& l) {
    const auto [it, inserted] = given.try_emplace(std::string(l.tokens[0].text), l.number);
    if (inserted) return true;
    return Fail(l.number, l.tokens[0].column,
                QuotedForMessage(l.tokens[0].text) + " is given twice (first at line " +
                    std::to_string(it->second) + ")");
}

// ---- rotations -----------------------------------------------------------

FrameMatrix EulerFrame(const Vector3& degrees) {
    // Skipping zero turns keeps a plain x turn bit-identical to RotateFrame's.
    FrameMatrix m;
    if (degrees.x != 0.0f) RotateFrame(m, AxisX, degrees.x, Combine::Replace);
    if (degrees.y != 0.0f) {
        FrameMatrix r;
        RotateFrame(r, AxisY, degrees.y, Combine::Replace);
        m = Multiply(m, r);
    }
    if (degrees.z != 0.0f) {
        FrameMatrix r;
        RotateFrame(r, AxisZ, degrees.z, Combine::Replace);
        m = Multiply(m, r);
    }
    m.pos = {};
    return m;
}

Vector3 EulerDegrees(const FrameMatrix& r) {
    constexpr double kDeg = 57.29577951308232;
    const double upZ = r.up.z, atZ = r.at.z;
    const double cy = std::sqrt(upZ * upZ + atZ * atZ);  // cos of the y turn
    const double y = std::atan2(-static_cast<double>(r.right.z), cy) * kDeg;
    if (cy > 1e-6) {
        return {
            static_cast<float>(std::atan2(upZ, atZ) * kDeg), static_cast<float>(y),
            static_cast<float>(
                std::atan2(static_cast<double>(r.right.y), static_cast<double>(r.right.x)) * kDeg)};
    }
    // Straight up or down: only x - z (or x + z) is defined; put it all in x.
    const double x = std::atan2(-static_cast<double>(r.at.y), static_cast<double>(r.up.y)) * kDeg;
    return {static_cast<float>(x), static_cast<float>(y), 0.0f};
}

// ---- reader --------------------------------------------------------------

namespace {

using Line = SceneLine;

}  // namespace

std::string SceneNameProblem(std::string_view name) {
    if (name.size() > kMaxSceneNameLength) {
        return "is longer than " + std::to_string(kMaxSceneNameLength) + " characters";
    }
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7f || c == '"' || c == '#') {
            return "may hold only printable ASCII characters other than '\"' and '#'";
        }
    }
    return {};
}

namespace {

struct TypeName {
    std::string_view name;
    int code;
};
constexpr TypeName kTypes[] = {{"car", kVehicleTypeCar},
                               {"motorbike", kVehicleTypeMotorbike},
                               {"bicycle", kVehicleTypeBicycle}};

}  // namespace

int SceneVehicleType(std::string_view name) {
    for (const TypeName& type : kTypes) {
        if (type.name == name) return type.code;
    }
    return -1;
}

std::string_view SceneVehicleTypeName(int code) {
    for (const TypeName& type : kTypes) {
        if (type.code == code) return type.name;
    }
    return {};
}

namespace {

class SceneReader : SceneTextReader {
public:
    SceneReader(std::string_view text, std::string source)
        : SceneTextReader(text, std::move(source)) {}

    std::optional<VehicleModel> Read(std::string* error) {
        return Result(ReadAll(), error);
    }

    // A glTF model read on its own: its extras give the record.
    std::optional<VehicleModel> ReadModelOnly(const std::filesystem::path& file, std::string* error) {
        modelOnly_ = true;
        return Result(LoadModel(file, 0, 0) && Finish(), error);
    }

private:
    std::optional<VehicleModel> Result(bool ok, std::string* error) {
        if (!ok) {
            if (error) *error = error_;
            return std::nullopt;
        }
        return std::move(model_);
    }

    struct FrameDraft {
        int line = 0;
        std::map<std::string, int, std::less<>> given;  // keyword -> line
        Vector3 position;
        Vector3 rotation;
    };

    bool ReadAll() {
        if (lines_.empty()) {
            return Fail(0, 0,
                        "empty; a vehicle scene begins with \"" + std::string(kSceneHeader) + " " +
                            std::to_string(kSceneVersion) + "\"");
        }
        if (!ReadHeader(lines_.front())) return false;
        // Every frame name with its first line, so that a parent named before
        // its frame is told apart from one that does not exist.
        for (const Line& l : lines_) {
            if (l.tokens.size() >= 2 && l.tokens[0].text == "frame") {
                definedAt_.try_emplace(std::string(l.tokens[1].text), l.number);
            }
        }
        for (std::size_t i = 1; i < lines_.size(); ++i) {
            if (!ReadLine(lines_[i])) return false;
        }
        if (!FinishFrame()) return false;
        return Finish();
    }

    bool ReadHeader(const Line& l) {
        if (l.tokens[0].text != kSceneHeader) {
            return Fail(l.number, l.tokens[0].column,
                        "not a vehicle scene: the first line must be \"" +
                            std::string(kSceneHeader) + " " + std::to_string(kSceneVersion) + "\"");
        }
        if (l.tokens.size() < 2) return Fail(l.number, 0, "the header needs a version number");
        int version = 0;
        std::string why;
        if (!ParseSceneInt(l.tokens[1].text, version, why) || version != kSceneVersion) {
            return Fail(l.number, l.tokens[1].column,
                        "unsupported version " + QuotedForMessage(l.tokens[1].text) +
                            " (this program reads version " + std::to_string(kSceneVersion) + ")");
        }
        return NoMore(l, 2);
    }

    bool Floats(const Line& l, float* out, std::size_t count, float limit, const char* unit) {
        if (l.tokens.size() - 1 < count) {
            return Fail(l.number, 0,
                        QuotedForMessage(l.tokens[0].text) + " needs " + std::to_string(count) +
                            (count == 1 ? " number" : " numbers") + ", found " +
                            std::to_string(l.tokens.size() - 1));
        }
        for (std::size_t i = 0; i < count; ++i) {
            const SceneToken& t = l.tokens[i + 1];
            std::string why;
            if (!ParseSceneFloat(t.text, out[i], why)) {
                return Fail(l.number, t.column, QuotedForMessage(t.text) + " " + why);
            }
            if (std::fabs(out[i]) > limit) {
                return Fail(l.number, t.column,
                            QuotedForMessage(t.text) + " is out of range (-" +
                                FormatSceneNumber(limit) + " to " + FormatSceneNumber(limit) +
                                (*unit ? std::string(" ") + unit : std::string()) + ")");
            }
        }
        return NoMore(l, count + 1);
    }

    bool Point(const Line& l, Vector3& out) {
        float v[3];
        if (!Floats(l, v, 3, kMaxSceneCoordinate, "metres")) return false;
        out = {v[0], v[1], v[2]};
        return true;
    }

    bool Int(const Line& l, int& out, int lo, int hi) {
        if (l.tokens.size() < 2) {
            return Fail(l.number, 0, QuotedForMessage(l.tokens[0].text) + " needs a value");
        }
        const SceneToken& t = l.tokens[1];
        std::string why;
        int value = 0;
        if (!ParseSceneInt(t.text, value, why)) {
            return Fail(l.number, t.column, QuotedForMessage(t.text) + " " + why);
        }
        if (value < lo || value > hi) {
            return Fail(l.number, t.column,
                        QuotedForMessage(t.text) + " is out of range (" + std::to_string(lo) +
                            " to " + std::to_string(hi) + ")");
        }
        out = value;
        return NoMore(l, 2);
    }

    bool Name(const Line& l, std::string& out, const char* what) {
        if (l.tokens.size() < 2) {
            return Fail(l.number, 0, QuotedForMessage(l.tokens[0].text) + " needs " + what);
        }
        const SceneToken& t = l.tokens[1];
        const std::string problem = SceneNameProblem(t.text);
        if (!problem.empty()) {
            return Fail(l.number, t.column, "the name " + QuotedForMessage(t.text) + " " + problem);
        }
        out = std::string(t.text);
        return NoMore(l, 2);
    }

    bool ReadLine(const Line& l) {
        const SceneToken& key = l.tokens[0];
        const std::string_view k = key.text;
        if (k == "frame") return StartFrame(l);
        if (k == "parent" || k == "position" || k == "rotation" || k == "box" || k == "vertex") {
            if (!inFrame_) {
                return Fail(l.number, key.column,
                            QuotedForMessage(k) +
                                " belongs to a frame; start one with \"frame NAME\" first");
            }
            return ReadFrameLine(l);
        }
        const bool modelKey = k == "id" || k == "name" || k == "type" || k == "front-seat" ||
                              k == "handlebar" || k == "anim-group" || k == "lean-limit" ||
                              k == "body-frame" || k == "steering-frame" || k == "model";
        if (!modelKey) return Fail(l.number, key.column, "unknown keyword " + QuotedForMessage(k));
        if (inFrame_) {
            return Fail(l.number, key.column,
                        QuotedForMessage(k) +
                            " describes the vehicle and must come before the first frame");
        }
        if (!Once(modelGiven_, l)) return false;
        if (k == "id") return Int(l, model_.id, 0, 2147483647);
        if (k == "name") return Name(l, model_.name, "a name");
        if (k == "type") return Type(l);
        if (k == "front-seat") return Point(l, model_.frontSeat);
        if (k == "handlebar") return Point(l, model_.handlebar);
        if (k == "anim-group") return Int(l, model_.animGroup, 0, 255);
        if (k == "lean-limit") return Floats(l, &model_.leanLimit, 1, 10.0f, "");
        if (k == "body-frame") return Name(l, model_.bodyFrame, "a frame name");
        if (k == "model") return Model(l);
        return Name(l, model_.steeringFrame, "a frame name");
    }

    bool Type(const Line& l) {
        if (l.tokens.size() < 2) return Fail(l.number, 0, "\"type\" needs a value");
        const SceneToken& t = l.tokens[1];
        const int code = SceneVehicleType(t.text);
        if (code >= 0) {
            model_.type = code;
            return NoMore(l, 2);
        }
        return Fail(
            l.number, t.column,
            "unknown vehicle type " + QuotedForMessage(t.text) + " (car, motorbike or bicycle)");
    }

    bool StartFrame(const Line& l) {
        if (modelGiven_.contains("model")) {
            return Fail(l.number, l.tokens[0].column,
                        "a scene with a \"model\" takes its frames from the model file, not from "
                        "\"frame\" statements");
        }
        if (!FinishFrame()) return false;
        std::string name;
        if (!Name(l, name, "a name")) return false;
        if (model_.frames.size() >= static_cast<std::size_t>(kMaxModelFrames)) {
            return Fail(l.number, 0, "more than " + std::to_string(kMaxModelFrames) + " frames");
        }
        const auto seen = frameLines_.find(name);
        if (seen != frameLines_.end()) {
            return Fail(l.number, l.tokens[1].column,
                        "frame " + QuotedForMessage(name) + " is defined twice (first at line " +
                            std::to_string(seen->second) + ")");
        }
        frameLines_.emplace(name, l.number);
        frameIndex_.emplace(name, static_cast<int>(model_.frames.size()));
        VehicleModel::Frame frame;
        frame.name = std::move(name);
        model_.frames.push_back(std::move(frame));
        draft_ = FrameDraft{};
        draft_.line = l.number;
        inFrame_ = true;
        return true;
    }

    bool ReadFrameLine(const Line& l) {
        VehicleModel::Frame& frame = model_.frames.back();
        const std::string_view k = l.tokens[0].text;
        if (k != "vertex" && !Once(draft_.given, l)) return false;
        if (k == "parent") return Parent(l, frame);
        if (k == "position") return Point(l, draft_.position);
        if (k == "rotation") {
            float v[3];
            if (!Floats(l, v, 3, kMaxSceneAngle, "degrees")) return false;
            draft_.rotation = {v[0], v[1], v[2]};
            return true;
        }
        if (k == "box") {
            float v[6];
            if (!Floats(l, v, 6, kMaxSceneCoordinate, "metres")) return false;
            constexpr const char* kAxis[] = {"x", "y", "z"};
            for (int i = 0; i < 3; ++i) {
                if (v[i] > v[i + 3]) {
                    return Fail(
                        l.number, l.tokens[static_cast<std::size_t>(i) + 1].column,
                        std::string("the box's minimum ") + kAxis[i] + " is above its maximum");
                }
            }
            const auto first = static_cast<std::uint32_t>(frame.vertices.size());
            if (!AddVertices(l, frame, BoxVertices({v[0], v[1], v[2]}, {v[3], v[4], v[5]}))) {
                return false;
            }
            for (const std::uint32_t corner : BoxTriangles()) frame.triangles.push_back(first + corner);
            return true;
        }
        Vector3 p;
        if (!Point(l, p)) return false;
        return AddVertices(l, frame, {p});
    }

    bool AddVertices(const Line& l, VehicleModel::Frame& frame, const std::vector<Vector3>& add) {
        if (frame.vertices.size() + add.size() > kMaxFrameVertices) {
            return Fail(l.number, 0,
                        "frame " + QuotedForMessage(frame.name) + " has more than " +
                            std::to_string(kMaxFrameVertices) + " vertices");
        }
        frame.vertices.insert(frame.vertices.end(), add.begin(), add.end());
        return true;
    }

    bool Parent(const Line& l, VehicleModel::Frame& frame) {
        if (l.tokens.size() < 2) return Fail(l.number, 0, "\"parent\" needs a frame name");
        const SceneToken& t = l.tokens[1];
        if (t.text == frame.name) {
            return Fail(l.number, t.column,
                        "frame " + QuotedForMessage(frame.name) + " cannot be its own parent");
        }
        const auto found = frameIndex_.find(t.text);
        if (found == frameIndex_.end()) {
            const auto later = definedAt_.find(t.text);
            if (later != definedAt_.end()) {
                return Fail(l.number, t.column,
                            "parent frame " + QuotedForMessage(t.text) +
                                " is defined later, at line " + std::to_string(later->second) +
                                "; a parent must come before its children");
            }
            return Fail(l.number, t.column, "unknown parent frame " + QuotedForMessage(t.text));
        }
        frame.parent = found->second;
        return NoMore(l, 2);
    }

    bool FinishFrame() {
        if (!inFrame_) return true;
        VehicleModel::Frame& frame = model_.frames.back();
        frame.modelling = EulerFrame(draft_.rotation);
        frame.modelling.pos = draft_.position;
        inFrame_ = false;
        return true;
    }

    // "model FILE": the frames come from a glTF file, found beside this one.
    bool Model(const Line& l) {
        if (l.tokens.size() < 2) return Fail(l.number, 0, "\"model\" needs a file name");
        const SceneToken& t = l.tokens[1];
        const std::filesystem::path named{std::string(t.text)};
        if (!IsGltfFileName(named)) {
            return Fail(l.number, t.column,
                        "the model " + QuotedForMessage(t.text) + " is not a .gltf or .glb file");
        }
        if (!NoMore(l, 2)) return false;
        // Read at the end, so that the scene's own values, before or after
        // this line, win over the model's.
        modelFile_ = named.is_absolute() ? named : std::filesystem::path(source_).parent_path() / named;
        modelLine_ = l.number;
        modelColumn_ = t.column;
        return true;
    }

    // The model's frames; of its record values, those this scene does not
    // give itself.
    bool LoadModel(const std::filesystem::path& file, int line, int column) {
        std::string why;
        std::optional<GltfModel> gltf = ReadGltfModel(file, &why);
        if (!gltf) {
            if (modelOnly_) {
                error_ = why;
                return false;
            }
            return Fail(line, column, "the model does not load: " + why);
        }
        model_.frames = std::move(gltf->frames);
        for (const std::string& key : gltf->given) {
            if (!modelGiven_.try_emplace(key, line).second) continue;
            const VehicleModel& from = gltf->record;
            if (key == "id") model_.id = from.id;
            if (key == "name") model_.name = from.name;
            if (key == "type") model_.type = from.type;
            if (key == "front-seat") model_.frontSeat = from.frontSeat;
            if (key == "handlebar") model_.handlebar = from.handlebar;
            if (key == "anim-group") model_.animGroup = from.animGroup;
            if (key == "lean-limit") model_.leanLimit = from.leanLimit;
            if (key == "body-frame") model_.bodyFrame = from.bodyFrame;
            if (key == "steering-frame") model_.steeringFrame = from.steeringFrame;
        }
        for (std::size_t i = 0; i < model_.frames.size(); ++i) {
            frameIndex_.try_emplace(model_.frames[i].name, static_cast<int>(i));
        }
        return true;
    }

    bool Finish() {
        if (!modelOnly_ && !modelFile_.empty() && !LoadModel(modelFile_, modelLine_, modelColumn_)) return false;
        for (const char* key : {"id", "name", "type"}) {
            if (modelGiven_.contains(key)) continue;
            if (modelOnly_) {
                return Fail(0, 0,
                            std::string("no vehicle record gives \"") + key +
                                "\": a glTF model read on its own needs a node whose extras hold \"" +
                                std::string(kGltfVehicleKey) + "\": " +
                                std::to_string(kGltfVehicleVersion) +
                                " with an id, a name and a type, or a .vehicle file that names it "
                                "(\"model FILE\")");
            }
            return Fail(0, 0,
                        std::string("no \"") + key + "\" line; a scene needs an id, a name and a type");
        }
        for (const char* key : {"body-frame", "steering-frame"}) {
            const auto given = modelGiven_.find(key);
            if (given == modelGiven_.end()) continue;
            const std::string& name =
                std::string_view(key) == "body-frame" ? model_.bodyFrame : model_.steeringFrame;
            if (!model_.IsBike()) {
                return Fail(given->second, 0,
                            std::string("\"") + key + "\" is for motorbikes and bicycles only");
            }
            if (!frameIndex_.contains(name)) {
                return Fail(given->second, 0,
                            std::string("\"") + key + "\" names " + QuotedForMessage(name) +
                                ", which is not a frame of this file");
            }
        }
        std::string why;
        if (!model_.Validate(&why)) return Fail(0, 0, why);
        return true;
    }

    VehicleModel model_;
    std::map<std::string, int, std::less<>> modelGiven_;  // keyword -> line
    std::map<std::string, int, std::less<>> definedAt_;   // frame name -> first "frame" line
    std::map<std::string, int, std::less<>> frameLines_;  // frames read so far -> line
    std::map<std::string, int, std::less<>> frameIndex_;  // frames read so far -> index
    FrameDraft draft_;
    bool inFrame_ = false;
    bool modelOnly_ = false;
    std::filesystem::path modelFile_;  // "model FILE", resolved
    int modelLine_ = 0;
    int modelColumn_ = 0;
};

}  // namespace

std::optional<VehicleModel> ParseVehicleScene(std::string_view text, const std::string& sourceName,
                                              std::string* error) {
    return SceneReader(text, sourceName).Read(error);
}

std::optional<VehicleModel> LoadVehicleScene(const std::filesystem::path& path,
                                             std::string* error) {
    if (IsGltfFileName(path)) return SceneReader({}, path.string()).ReadModelOnly(path, error);
    std::string text, why;
    if (!ReadSceneTextFile(path, kMaxSceneFileBytes, text, why)) {
        if (error) *error = why;
        return std::nullopt;
    }
    return ParseVehicleScene(text, path.string(), error);
}

// ---- writer --------------------------------------------------------------

namespace {

bool IsRotation(const FrameMatrix& m) {
    constexpr float kTol = 1e-4f;
    const auto unit = [&](const Vector3& v) { return std::fabs(Length(v) - 1.0f) <= kTol; };
    return unit(m.right) && unit(m.up) && unit(m.at) && std::fabs(Dot(m.right, m.up)) <= kTol &&
           std::fabs(Dot(m.right, m.at)) <= kTol && std::fabs(Dot(m.up, m.at)) <= kTol &&
           Distance(Cross(m.right, m.up), m.at) <= kTol * 4.0f;  // right-handed
}

bool MatricesNear(const FrameMatrix& a, const FrameMatrix& b, float tol) {
    return Distance(a.right, b.right) <= tol && Distance(a.up, b.up) <= tol &&
           Distance(a.at, b.at) <= tol && a.pos == b.pos;
}

// Euler angles rounded to 1e-4 degrees, so that "20" does not come back as
// "19.999998" after a trip through a matrix.
Vector3 TidyDegrees(const FrameMatrix& m) {
    const Vector3 raw = EulerDegrees(m);
    const auto tidy = [](float a) {
        const double r = std::round(static_cast<double>(a) * 1e4) / 1e4;
        return r == 0.0 ? 0.0f : static_cast<float>(r);
    };
    return {tidy(raw.x), tidy(raw.y), tidy(raw.z)};
}

std::string Numbers(std::initializer_list<float> values) {
    std::string out;
    for (const float v : values) {
        if (!out.empty()) out += ' ';
        out += FormatSceneNumber(v);
    }
    return out;
}

std::string Numbers(const Vector3& v) { return Numbers({v.x, v.y, v.z}); }

bool IsBoxOf(const std::vector<Vector3>& vertices, Vector3& min, Vector3& max) {
    if (vertices.size() != 8) return false;
    min = max = vertices.front();
    for (const Vector3& v : vertices) {
        min = {std::min(min.x, v.x), std::min(min.y, v.y), std::min(min.z, v.z)};
        max = {std::max(max.x, v.x), std::max(max.y, v.y), std::max(max.z, v.z)};
    }
    return BoxVertices(min, max) == vertices;
}

bool WriteFail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

bool Writable(const VehicleModel& m, std::string* error) {
    std::string why;
    if (!m.Validate(&why)) return WriteFail(error, why);
    const std::string model = "model " + std::to_string(m.id);
    if (m.name.empty()) return WriteFail(error, model + " has no name");
    for (const std::string* name : {&m.name, &m.bodyFrame, &m.steeringFrame}) {
        const std::string problem = SceneNameProblem(*name);
        if (!problem.empty()) {
            return WriteFail(error,
                             model + ": the name " + QuotedForMessage(*name) + " " + problem);
        }
    }
    std::map<std::string, int, std::less<>> names;
    for (const VehicleModel::Frame& f : m.frames) {
        if (f.name.empty()) return WriteFail(error, model + " has a frame without a name");
        const std::string problem = SceneNameProblem(f.name);
        if (!problem.empty()) {
            return WriteFail(
                error, model + ": the frame name " + QuotedForMessage(f.name) + " " + problem);
        }
        if (!names.try_emplace(f.name, 0).second) {
            return WriteFail(error, model + " has two frames named " + QuotedForMessage(f.name));
        }
        if (!IsRotation(f.modelling)) {
            return WriteFail(error, model + ": frame " + QuotedForMessage(f.name) +
                                        " is scaled or skewed; a scene holds only rotations");
        }
    }
    return true;
}

}  // namespace

std::string WriteVehicleScene(const VehicleModel& m, std::string* error) {
    if (!Writable(m, error)) return {};
    const std::string_view type = SceneVehicleTypeName(m.type);
    if (type.empty()) {
        WriteFail(error, "model " + std::to_string(m.id) + " has vehicle type " +
                             std::to_string(m.type) + ", which a scene cannot name");
        return {};
    }

    std::string out;
    out += "# Vehicle scene: metres, degrees; x right, y forward, z up.\n";
    out += std::string(kSceneHeader) + " " + std::to_string(kSceneVersion) + "\n";
    out += "id " + std::to_string(m.id) + "\n";
    out += "name " + m.name + "\n";
    out += "type " + std::string(type) + "\n";
    out += "front-seat " + Numbers(m.frontSeat) + "\n";
    out += "handlebar " + Numbers(m.handlebar) + "\n";
    out += "anim-group " + std::to_string(m.animGroup) + "\n";
    out += "lean-limit " + FormatSceneNumber(m.leanLimit) + "\n";
    if (!m.bodyFrame.empty()) out += "body-frame " + m.bodyFrame + "\n";
    if (!m.steeringFrame.empty()) out += "steering-frame " + m.steeringFrame + "\n";
    for (const VehicleModel::Frame& f : m.frames) {
        out += "\nframe " + f.name + "\n";
        if (f.parent >= 0) {
            out += "  parent " + m.frames[static_cast<std::size_t>(f.parent)].name + "\n";
        }
        out += "  position " + Numbers(f.modelling.pos) + "\n";
        const Vector3 degrees = TidyDegrees(f.modelling);
        if (!degrees.IsZero()) out += "  rotation " + Numbers(degrees) + "\n";
        Vector3 min, max;
        if (IsBoxOf(f.vertices, min, max)) {
            out += "  box " + Numbers({min.x, min.y, min.z, max.x, max.y, max.z}) + "\n";
        } else {
            for (const Vector3& v : f.vertices) out += "  vertex " + Numbers(v) + "\n";
        }
    }

    // Whatever the reader would refuse or read differently is refused here,
    // so a written file always loads as the model it came from.
    std::string why;
    const std::optional<VehicleModel> back = ParseVehicleScene(out, "(written scene)", &why);
    if (!back) {
        WriteFail(error, "model " + std::to_string(m.id) + " cannot be written: " + why);
        return {};
    }
    for (std::size_t i = 0; i < m.frames.size(); ++i) {
        const VehicleModel::Frame& f = m.frames[i];
        const VehicleModel::Frame& read = back->frames[i];
        if (!MatricesNear(read.modelling, f.modelling, 1e-5f)) {
            WriteFail(error, "model " + std::to_string(m.id) + ": the rotation of frame " +
                                 QuotedForMessage(f.name) +
                                 " does not survive the trip through Euler angles");
            return {};
        }
        // A scene holds boxes and loose vertices: a mesh's own triangles
        // would be lost, and a box's would appear where there were none.
        if (read.triangles != f.triangles || read.vertices.size() != f.vertices.size()) {
            WriteFail(error, "model " + std::to_string(m.id) + ": the triangles of frame " +
                                 QuotedForMessage(f.name) +
                                 " cannot be written; a scene holds only boxes and loose vertices");
            return {};
        }
    }
    return out;
}

VehicleModel BuiltInVehicle(const std::string& fileName, int id) {
    static std::mutex mutex;
    static std::map<std::string, VehicleModel, std::less<>> cache;
    VehicleModel model;
    std::string error;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        auto it = cache.find(fileName);
        if (it == cache.end()) {
            std::optional<VehicleModel> loaded =
                LoadVehicleScene(BuiltInScenesDirectory() / fileName, &error);
            if (loaded) it = cache.emplace(fileName, std::move(*loaded)).first;
        }
        if (it != cache.end()) model = it->second;
    }
    // Nothing can go on without a built-in vehicle: the caller learns why.
    if (!error.empty()) throw std::runtime_error("built-in vehicle scene missing or damaged: " + error);
    model.id = id;
    return model;
}

bool SaveVehicleScene(const VehicleModel& model, const std::filesystem::path& path,
                      std::string* error) {
    const std::string text = WriteVehicleScene(model, error);
    if (text.empty()) return false;
    if (!replaceFileContents(path, text)) {
        return WriteFail(error, path.string() + ": cannot be written");
    }
    return true;
}

}  // namespace kovra::sim
