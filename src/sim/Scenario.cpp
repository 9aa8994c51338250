#include "sim/Scenario.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <system_error>
#include <utility>

#include "kovra/ik/Geometry.h"

namespace kovra::sim {

namespace {

constexpr std::size_t kMaxScenarioFileBytes = 1u << 20;
constexpr float kMaxWorldCoordinate = 100000.0f;  // metres
constexpr float kMaxTimeStep = 10.0f;

struct InputRule {
    std::string_view name;
    float lo;
    float hi;
    bool held;  // whole numbers that keep their value until the next key
};

// Indexed by ScenarioInput.
constexpr std::array<InputRule, kScenarioInputCount> kInputs{{
    {"steer", -90.0f, 90.0f, false},  // road-wheel angle, degrees
    {"gas", -1.0f, 1.0f, false},      // negative: reversing
    {"brake", 0.0f, 1.0f, false},
    {"hand-brake", 0.0f, 1.0f, true},
    {"gear", 0.0f, 9.0f, true},
    {"speed", -100.0f, 100.0f, false},  // world units per time step
    {"lean", -1.0f, 1.0f, false},
    {"wheels", 0.0f, 4.0f, true},
    {"climb", -10.0f, 10.0f, false},  // world units per time step, upwards
}};

const InputRule& RuleOf(ScenarioInput input) { return kInputs[static_cast<std::size_t>(input)]; }

std::string Range(float lo, float hi) {
    return "(" + FormatSceneNumber(lo) + " to " + FormatSceneNumber(hi) + ")";
}

class ScenarioReader : SceneTextReader {
public:
    ScenarioReader(std::string_view text, std::string source, std::filesystem::path baseDir,
                   std::filesystem::path scenesDir)
        : SceneTextReader(text, std::move(source)),
          baseDir_(std::move(baseDir)),
          scenesDir_(std::move(scenesDir)) {}

    std::optional<Scenario> Read(std::string* error) {
        if (!ReadAll()) {
            if (error) *error = error_;
            return std::nullopt;
        }
        return std::move(scenario_);
    }

private:
    bool Need(const SceneLine& l, std::size_t values, const char* what) {
        if (l.tokens.size() > values) return true;
        return Fail(l.number, 0,
                    QuotedForMessage(l.tokens[0].text) + " needs " + what + ", found " +
                        std::to_string(l.tokens.size() - 1) + " values");
    }

    bool Float(const SceneToken& t, int line, float& out, float lo, float hi) {
        std::string why;
        float value = 0.0f;
        if (!ParseSceneFloat(t.text, value, why)) {
            return Fail(line, t.column, QuotedForMessage(t.text) + " " + why);
        }
        if (value < lo || value > hi) {
            return Fail(line, t.column,
                        QuotedForMessage(t.text) + " is out of range " + Range(lo, hi));
        }
        out = value;
        return true;
    }

    bool Int(const SceneToken& t, int line, int& out, int lo, int hi) {
        std::string why;
        int value = 0;
        if (!ParseSceneInt(t.text, value, why)) {
            return Fail(line, t.column, QuotedForMessage(t.text) + " " + why);
        }
        if (value < lo || value > hi) {
            return Fail(line, t.column,
                        QuotedForMessage(t.text) + " is out of range (" + std::to_string(lo) +
                            " to " + std::to_string(hi) + ")");
        }
        out = value;
        return true;
    }

    bool ReadAll() {
        if (lines_.empty()) {
            return Fail(0, 0,
                        "empty; a scenario begins with \"" + std::string(kScenarioHeader) + " " +
                            std::to_string(kScenarioVersion) + "\"");
        }
        if (!ReadHeader(lines_.front())) return false;
        for (std::size_t i = 1; i < lines_.size(); ++i) {
            if (!ReadLine(lines_[i])) return false;
        }
        return Finish();
    }

    bool ReadHeader(const SceneLine& l) {
        if (l.tokens[0].text != kScenarioHeader) {
            return Fail(l.number, l.tokens[0].column,
                        "not a scenario: the first line must be \"" + std::string(kScenarioHeader) +
                            " " + std::to_string(kScenarioVersion) + "\"");
        }
        int version = 0;
        std::string why;
        if (l.tokens.size() < 2) return Fail(l.number, 0, "the header needs a version number");
        if (!ParseSceneInt(l.tokens[1].text, version, why) || version != kScenarioVersion) {
            return Fail(l.number, l.tokens[1].column,
                        "unsupported version " + QuotedForMessage(l.tokens[1].text) +
                            " (this program reads version " + std::to_string(kScenarioVersion) +
                            ")");
        }
        return NoMore(l, 2);
    }

    bool ReadLine(const SceneLine& l) {
        const std::string_view k = l.tokens[0].text;
        const int col = l.tokens[0].column;
        if (k == "vehicle") return StartVehicle(l);
        if (k == "position" || k == "heading" || k == "driver" || k == "driver-enters" || k == "key" ||
            k == "config") {
            if (scenario_.vehicles.empty()) {
                return Fail(l.number, col,
                            QuotedForMessage(k) +
                                " belongs to a vehicle; start one with \"vehicle FILE\" first");
            }
            return ReadVehicleLine(l);
        }
        const bool playerInput = k == "type" || k == "press" || k == "mouse";
        if (k != "name" && k != "frames" && k != "time-step" && k != "picture" && !playerInput) {
            return Fail(l.number, col, "unknown keyword " + QuotedForMessage(k));
        }
        if (!scenario_.vehicles.empty()) {
            return Fail(l.number, col,
                        QuotedForMessage(k) +
                            " describes the whole run and must come before the first vehicle");
        }
        if (k == "picture") return Pictures(l);
        if (k == "type") return Typing(l);
        if (k == "press") return Press(l);
        if (k == "mouse") return Mouse(l);
        if (!Once(given_, l)) return false;
        if (k == "name") {
            if (!Need(l, 1, "a text")) return false;
            scenario_.name = RestOfLine(l, 1);  // blanks included
            return true;
        }
        if (k == "frames") {
            if (!Need(l, 1, "a frame count")) return false;
            return Int(l.tokens[1], l.number, scenario_.frameCount, 1, kMaxScenarioFrames) &&
                   NoMore(l, 2);
        }
        if (!Need(l, 1, "a number")) return false;
        if (!Float(l.tokens[1], l.number, scenario_.timeStep, 0.0f, kMaxTimeStep)) return false;
        if (scenario_.timeStep <= 0.0f) {
            return Fail(l.number, l.tokens[1].column, "the time step must be above 0");
        }
        return NoMore(l, 2);
    }

    bool Pictures(const SceneLine& l) {
        if (!Need(l, 1, "one or more frame numbers")) return false;
        for (std::size_t i = 1; i < l.tokens.size(); ++i) {
            int frame = 0;
            if (!Int(l.tokens[i], l.number, frame, 0, kMaxScenarioFrames - 1)) return false;
            pictures_.push_back({frame, l.number, l.tokens[i].column});
        }
        return true;
    }

    // The frame of a player-input statement, checked against "frames" at the end.
    bool InputFrame(const SceneLine& l, int& frame) {
        if (!Int(l.tokens[1], l.number, frame, 0, kMaxScenarioFrames - 1)) return false;
        inputFrames_.push_back({frame, l.number, l.tokens[1].column, std::string(l.tokens[0].text)});
        return true;
    }

    // The rest of a line from its token `first` on, blanks included.
    static std::string RestOfLine(const SceneLine& l, std::size_t first) {
        const SceneToken& a = l.tokens[first];
        const SceneToken& b = l.tokens.back();
        return std::string(a.text.data(),
                           static_cast<std::size_t>(b.text.data() - a.text.data()) + b.text.size());
    }

    bool Typing(const SceneLine& l) {
        if (!Need(l, 2, "a frame and a text")) return false;
        ScenarioTyping typing;
        if (!InputFrame(l, typing.frame)) return false;
        typing.text = RestOfLine(l, 2);
        scenario_.typing.push_back(std::move(typing));
        return true;
    }

    bool Press(const SceneLine& l) {
        if (!Need(l, 2, "a frame and a key")) return false;
        ScenarioKeyPress press;
        if (!InputFrame(l, press.frame)) return false;
        const SceneToken& key = l.tokens[2];
        press.key = Scenario::KeyCode(key.text);
        if (press.key < 0) {
            return Fail(l.number, key.column,
                        "unknown key " + QuotedForMessage(key.text) +
                            " (a virtual-key code of two or more digits up to 255, up, down, left, "
                            "right, space, backspace, tab, shift, control, or one letter or digit)");
        }
        if (l.tokens.size() > 3 &&
            !Int(l.tokens[3], l.number, press.frames, 1, kMaxScenarioFrames)) {
            return false;
        }
        scenario_.presses.push_back(press);
        return NoMore(l, 4);
    }

    bool Mouse(const SceneLine& l) {
        if (!Need(l, 3, "a frame and 2 numbers")) return false;
        ScenarioMouseMove move;
        if (!InputFrame(l, move.frame) ||
            !Float(l.tokens[2], l.number, move.dx, -kMaxMouseMove, kMaxMouseMove) ||
            !Float(l.tokens[3], l.number, move.dy, -kMaxMouseMove, kMaxMouseMove)) {
            return false;
        }
        scenario_.mouseMoves.push_back(move);
        return NoMore(l, 4);
    }

    // A file beside the scenario, else in the scenes folder; empty when none.
    std::filesystem::path FindFile(std::string_view name) const {
        const std::filesystem::path relative{std::string(name)};
        std::error_code ec;
        for (const std::filesystem::path& dir : {baseDir_, scenesDir_}) {
            const std::filesystem::path candidate = relative.is_absolute() ? relative : dir / relative;
            if (std::filesystem::is_regular_file(candidate, ec)) return candidate;
        }
        return {};
    }

    bool StartVehicle(const SceneLine& l) {
        if (!given_.contains("frames")) {
            return Fail(l.number, l.tokens[0].column,
                        "\"frames\" must be given before the first vehicle");
        }
        if (!Need(l, 1, "a scene file")) return false;
        if (!NoMore(l, 2)) return false;
        if (scenario_.vehicles.size() >= kMaxScenarioVehicles) {
            return Fail(l.number, 0,
                        "more than " + std::to_string(kMaxScenarioVehicles) + " vehicles");
        }
        const SceneToken& file = l.tokens[1];
        const std::filesystem::path found = FindFile(file.text);
        std::error_code ec;
        if (found.empty()) {
            return Fail(l.number, file.column,
                        "vehicle scene " + QuotedForMessage(file.text) +
                            " is found neither beside the scenario nor in " + scenesDir_.string());
        }
        const std::filesystem::path key = std::filesystem::weakly_canonical(found, ec);
        const std::string keyText = (ec ? found : key).string();

        ScenarioVehicle vehicle;
        vehicle.sceneFile = found;
        const auto loaded = scenes_.find(keyText);
        if (loaded != scenes_.end()) {
            vehicle.model = loaded->second;
        } else {
            std::string why;
            std::optional<VehicleModel> model = LoadVehicleScene(found, &why);
            if (!model) {
                return Fail(l.number, file.column, "the vehicle scene does not load: " + why);
            }
            const auto clash = idOwners_.find(model->id);
            if (clash != idOwners_.end()) {
                return Fail(l.number, file.column,
                            "model id " + std::to_string(model->id) + " of " + found.string() +
                                " is already taken by " + clash->second +
                                "; give one of them another id");
            }
            idOwners_.emplace(model->id, found.string());
            vehicle.model = *model;
            scenes_.emplace(keyText, std::move(*model));
        }
        scenario_.vehicles.push_back(std::move(vehicle));
        vehicleGiven_.clear();
        lastKeyFrame_ = -1;
        return true;
    }

    bool ReadVehicleLine(const SceneLine& l) {
        ScenarioVehicle& v = scenario_.vehicles.back();
        const std::string_view k = l.tokens[0].text;
        if (k == "key") return Key(l, v);
        if (!Once(vehicleGiven_, l)) return false;
        if (k == "position") {
            if (!Need(l, 3, "3 numbers")) return false;
            float p[3];
            for (std::size_t i = 0; i < 3; ++i) {
                if (!Float(l.tokens[i + 1], l.number, p[i], -kMaxWorldCoordinate,
                           kMaxWorldCoordinate)) {
                    return false;
                }
            }
            v.position = {p[0], p[1], p[2]};
            return NoMore(l, 4);
        }
        if (k == "config") {
            if (!Need(l, 1, "a per-vehicle configuration file")) return false;
            v.configFile = FindFile(l.tokens[1].text);
            if (v.configFile.empty()) {
                return Fail(l.number, l.tokens[1].column,
                            "configuration file " + QuotedForMessage(l.tokens[1].text) +
                                " is found neither beside the scenario nor in " + scenesDir_.string());
            }
            return NoMore(l, 2);
        }
        if (k == "heading") {
            if (!Need(l, 1, "a number of degrees")) return false;
            return Float(l.tokens[1], l.number, v.heading, -kMaxSceneAngle, kMaxSceneAngle) &&
                   NoMore(l, 2);
        }
        if (k == "driver-enters") {
            if (!Need(l, 1, "a frame number")) return false;
            return Int(l.tokens[1], l.number, v.driverEnters, 0, scenario_.frameCount - 1) && NoMore(l, 2);
        }
        if (!Need(l, 1, "none, ped or player")) return false;
        const SceneToken& t = l.tokens[1];
        if (t.text == "none") {
            v.driver = ScenarioDriver::None;
        } else if (t.text == "ped") {
            v.driver = ScenarioDriver::Ped;
        } else if (t.text == "player") {
            if (playerLine_ > 0) {
                return Fail(l.number, t.column,
                            "there is already a player (line " + std::to_string(playerLine_) +
                                "); one driver at most is the player");
            }
            playerLine_ = l.number;
            v.driver = ScenarioDriver::Player;
        } else {
            return Fail(l.number, t.column,
                        "unknown driver " + QuotedForMessage(t.text) + " (none, ped or player)");
        }
        return NoMore(l, 2);
    }

    bool Key(const SceneLine& l, ScenarioVehicle& v) {
        if (!Need(l, 1, "a frame number")) return false;
        int frame = 0;
        if (!Int(l.tokens[1], l.number, frame, 0, scenario_.frameCount - 1)) return false;
        if (frame <= lastKeyFrame_) {
            return Fail(l.number, l.tokens[1].column,
                        "key frame " + std::to_string(frame) + " does not come after the " +
                            "previous key's frame " + std::to_string(lastKeyFrame_) +
                            "; keys go in ascending order");
        }
        if (l.tokens.size() < 4) {
            return Fail(l.number, 0, "\"key\" needs a frame and at least one input and value");
        }
        std::array<bool, kScenarioInputCount> seen{};
        std::array<std::optional<float>, kScenarioInputCount> values;
        for (std::size_t i = 2; i < l.tokens.size(); i += 2) {
            const SceneToken& name = l.tokens[i];
            int index = -1;
            for (int j = 0; j < kScenarioInputCount; ++j) {
                if (kInputs[static_cast<std::size_t>(j)].name == name.text) index = j;
            }
            if (index < 0) {
                return Fail(l.number, name.column,
                            "unknown input " + QuotedForMessage(name.text) +
                                " (steer, gas, brake, hand-brake, gear, speed, lean, wheels, climb)");
            }
            const auto slot = static_cast<std::size_t>(index);
            if (seen[slot]) {
                return Fail(l.number, name.column,
                            QuotedForMessage(name.text) + " is set twice in one key");
            }
            seen[slot] = true;
            if (i + 1 >= l.tokens.size()) {
                return Fail(l.number, name.column, QuotedForMessage(name.text) + " needs a value");
            }
            const SceneToken& value = l.tokens[i + 1];
            const InputRule& rule = kInputs[slot];
            if (rule.held) {
                int whole = 0;
                if (!Int(value, l.number, whole, static_cast<int>(rule.lo),
                         static_cast<int>(rule.hi))) {
                    return false;
                }
                values[slot] = static_cast<float>(whole);
            } else {
                float number = 0.0f;
                if (!Float(value, l.number, number, rule.lo, rule.hi)) return false;
                values[slot] = number;
            }
        }
        for (std::size_t j = 0; j < values.size(); ++j) {
            if (values[j]) v.tracks[j].push_back({frame, *values[j]});
        }
        lastKeyFrame_ = frame;
        return true;
    }

    bool Finish() {
        if (!given_.contains("frames")) return Fail(0, 0, "no \"frames\" line");
        if (scenario_.vehicles.empty()) {
            return Fail(0, 0, "no vehicle; a scenario needs at least one \"vehicle FILE\"");
        }
        std::map<int, int> pictureLines;
        for (const Picture& p : pictures_) {
            if (p.frame >= scenario_.frameCount) {
                return Fail(p.line, p.column,
                            "picture frame " + std::to_string(p.frame) +
                                " is past the last frame (" +
                                std::to_string(scenario_.frameCount - 1) + ")");
            }
            const auto [it, inserted] = pictureLines.emplace(p.frame, p.line);
            if (!inserted) {
                return Fail(p.line, p.column,
                            "picture frame " + std::to_string(p.frame) +
                                " is listed twice (first at line " + std::to_string(it->second) +
                                ")");
            }
        }
        for (const auto& [frame, line] : pictureLines) scenario_.pictureFrames.push_back(frame);
        for (const InputFrameRef& f : inputFrames_) {
            if (f.frame >= scenario_.frameCount) {
                return Fail(f.line, f.column,
                            QuotedForMessage(f.keyword) + " frame " + std::to_string(f.frame) +
                                " is past the last frame (" +
                                std::to_string(scenario_.frameCount - 1) + ")");
            }
        }
        if (scenario_.name.empty()) {
            scenario_.name = std::filesystem::path(source_).stem().string();
        }
        return true;
    }

    struct Picture {
        int frame;
        int line;
        int column;
    };

    struct InputFrameRef {
        int frame;
        int line;
        int column;
        std::string keyword;
    };

    std::filesystem::path baseDir_;
    std::filesystem::path scenesDir_;
    Scenario scenario_;
    std::map<std::string, int, std::less<>> given_;         // run keyword -> line
    std::map<std::string, int, std::less<>> vehicleGiven_;  // of the current vehicle
    std::map<std::string, VehicleModel> scenes_;            // canonical path -> model
    std::map<int, std::string> idOwners_;                   // model id -> scene file
    std::vector<Picture> pictures_;
    std::vector<InputFrameRef> inputFrames_;
    int lastKeyFrame_ = -1;
    int playerLine_ = 0;
};

}  // namespace

FrameMatrix ScenarioVehicle::WorldMatrix() const { return PoseAt(0.0f, position); }

FrameMatrix ScenarioVehicle::PoseAt(float lean, const Vector3& at) const {
    FrameMatrix m;
    if (heading != 0.0f) RotateFrame(m, AxisZ, heading, Combine::Replace);
    if (lean != 0.0f && model.IsBike()) RotateFrame(m, AxisY, lean * kRadToDeg, Combine::Local);
    m.pos = at;
    return m;
}

std::optional<Scenario> Scenario::Parse(std::string_view text, const std::string& sourceName,
                                        const std::filesystem::path& baseDir, std::string* error,
                                        const std::filesystem::path& scenesDir) {
    return ScenarioReader(text, sourceName, baseDir, scenesDir).Read(error);
}

std::optional<Scenario> Scenario::Load(const std::filesystem::path& path, std::string* error,
                                       const std::filesystem::path& scenesDir) {
    std::string text, why;
    if (!ReadSceneTextFile(path, kMaxScenarioFileBytes, text, why)) {
        if (error) *error = why;
        return std::nullopt;
    }
    std::filesystem::path base = path.parent_path();
    if (base.empty()) base = ".";
    return Parse(text, path.string(), base, error, scenesDir);
}

float Scenario::TrackValue(const std::vector<ScenarioKey>& keys, int frame, bool held) {
    if (keys.empty()) return 0.0f;
    if (frame <= keys.front().frame) return keys.front().value;
    if (frame >= keys.back().frame) return keys.back().value;
    // The last key at or before the frame; the one after it exists.
    const auto next = std::upper_bound(keys.begin(), keys.end(), frame,
                                       [](int f, const ScenarioKey& k) { return f < k.frame; });
    const ScenarioKey& b = *next;
    const ScenarioKey& a = *(next - 1);
    if (held) return a.value;
    // Weighted this way the ends come out exactly as written.
    const double t = static_cast<double>(frame - a.frame) / static_cast<double>(b.frame - a.frame);
    return static_cast<float>((1.0 - t) * a.value + t * b.value);
}

bool Scenario::IsHeld(ScenarioInput input) { return RuleOf(input).held; }

int Scenario::KeyCode(std::string_view name) {
    struct NamedKey {
        std::string_view name;
        int code;
    };
    static constexpr NamedKey kNamed[] = {{"backspace", 8}, {"tab", 9},    {"shift", 16},
                                          {"control", 17},  {"space", 32}, {"left", 37},
                                          {"up", 38},       {"right", 39}, {"down", 40}};
    for (const NamedKey& key : kNamed) {
        if (key.name == name) return key.code;
    }
    if (name.size() == 1) {
        const char c = name[0];
        if (c >= '0' && c <= '9') return c;  // the digit keys have their characters' codes
        if (c >= 'A' && c <= 'Z') return c;
        if (c >= 'a' && c <= 'z') return c - 'a' + 'A';
        return -1;
    }
    int code = 0;
    std::string why;
    if (!ParseSceneInt(name, code, why) || name.front() == '+' || name.front() == '-' ||
        code < 0 || code > 255) {
        return -1;
    }
    return code;
}

std::string Scenario::TypedAt(int frame) const {
    std::string text;
    for (const ScenarioTyping& t : typing) {
        if (t.frame == frame) text += t.text;
    }
    return text;
}

std::array<std::uint8_t, 256> Scenario::KeyboardAt(int frame) const {
    std::array<std::uint8_t, 256> keys{};
    for (const ScenarioKeyPress& p : presses) {
        // Written so that a long press near the largest frame cannot overflow.
        if (frame >= p.frame && frame - p.frame < p.frames) keys[static_cast<std::size_t>(p.key)] = 0x80;
    }
    return keys;
}

void Scenario::MouseAt(int frame, float& dx, float& dy) const {
    dx = 0.0f;
    dy = 0.0f;
    for (const ScenarioMouseMove& m : mouseMoves) {
        if (m.frame != frame) continue;
        dx += m.dx;
        dy += m.dy;
    }
}

std::string_view Scenario::InputName(ScenarioInput input) { return RuleOf(input).name; }

VehicleState Scenario::InputsAt(int vehicleIndex, int frame) const {
    VehicleState s;
    if (vehicleIndex < 0 || static_cast<std::size_t>(vehicleIndex) >= vehicles.size()) return s;
    const ScenarioVehicle& v = vehicles[static_cast<std::size_t>(vehicleIndex)];
    const auto value = [&](ScenarioInput input) {
        return TrackValue(v.tracks[static_cast<std::size_t>(input)], frame, IsHeld(input));
    };
    s.steerAngle = value(ScenarioInput::Steer) * kDegToRad;
    s.gasPedal = value(ScenarioInput::Gas);
    s.brakePedal = value(ScenarioInput::Brake);
    s.handBrake = value(ScenarioInput::HandBrake) != 0.0f;
    s.gear = static_cast<int>(value(ScenarioInput::Gear));
    s.speed = value(ScenarioInput::Speed);
    s.lean = value(ScenarioInput::Lean);
    s.wheelsOnGround = static_cast<int>(value(ScenarioInput::Wheels));
    s.barAngle = s.steerAngle;
    const FrameMatrix facing = v.PoseAt(0.0f, {});
    s.moveSpeed = facing.up * s.speed + AxisZ * value(ScenarioInput::Climb);
    return s;
}

void Scenario::CopyInputs(const VehicleState& inputs, VehicleState& state) {
    state.steerAngle = inputs.steerAngle;
    state.gasPedal = inputs.gasPedal;
    state.brakePedal = inputs.brakePedal;
    state.handBrake = inputs.handBrake;
    state.gear = inputs.gear;
    state.speed = inputs.speed;
    state.lean = inputs.lean;
    state.wheelsOnGround = inputs.wheelsOnGround;
    state.barAngle = inputs.barAngle;
    state.moveSpeed = inputs.moveSpeed;
}

void Scenario::Drive(int vehicleIndex, int frame, CVehicle& vehicle) const {
    if (vehicleIndex < 0 || static_cast<std::size_t>(vehicleIndex) >= vehicles.size()) return;
    const VehicleState inputs = InputsAt(vehicleIndex, frame);
    CopyInputs(inputs, vehicle.state);
    const ScenarioVehicle& scripted = vehicles[static_cast<std::size_t>(vehicleIndex)];
    const std::uint32_t flags = vehicle.matrix.flags;
    vehicle.matrix = scripted.PoseAt(inputs.lean, vehicle.matrix.pos);
    vehicle.matrix.flags = flags;
}

}  // namespace kovra::sim
