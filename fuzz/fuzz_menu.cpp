// The in-game menu as a player with no plan drives it: every input byte is
// one step (a key pressed or held, with Shift or Control, a typed character,
// the cheat code, the mouse moved, Tab, the player changing vehicles, or a
// few frames of waiting) into both menus of a game with a car and a
// motorbike, every store action within reach. The game folder holds the
// user's files: the sedan's, with comments, keys and a section of the
// user's own; a read-only second file of the sedan; a file listed through a
// link that leads out of the game's folder; another model's file where the
// sedan's copy would go; the motorbike's; the settings and the priority
// list with comments. After every step: no tunable, setting, bone or frame
// is NaN or infinite, no file there before the run has lost a comment line,
// a section or a key, and the files the store must never write (the other
// model's, the read-only one, the one outside) are byte for byte as they
// were.
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "PoseCheck.h"
#include "kovra/config/BoundedRead.h"
#include "kovra/config/IniDocument.h"
#include "kovra/host/Runtime.h"
#include "kovra/ik/Geometry.h"
#include "kovra/rig/CabinIk.h"
#include "sim/SimHost.h"

namespace {

namespace fs = std::filesystem;
using kovra::fuzz::Require;

constexpr int kSedan = 400;
constexpr int kMotorbike = 461;
constexpr std::size_t kMaxSteps = 256;

// Virtual keys of the menu's defaults.
constexpr int kBackspace = 8, kTab = 9, kShift = 16, kControl = 17, kSpace = 32;
constexpr int kLeft = 37, kUp = 38, kRight = 39, kDown = 40;

struct UserFile {
    fs::path path;
    std::string text;
    bool untouchable = false;  // the store must never write it
};

std::string ReadAll(const fs::path& path) {
    std::string text;
    kovra::readBoundedFile(path, kovra::IniDocument::kMaxFileBytes, text);
    return text;
}

// The game folder as the user left it, made afresh for every input.
std::vector<UserFile> MakeGameFolder(const fs::path& game, const fs::path& outside) {
    std::error_code ignored;
    fs::remove_all(game, ignored);
    fs::remove_all(outside, ignored);
    fs::create_directories(game / "modloader" / "Cars");
    fs::create_directories(game / "modloader" / "Links");
    fs::create_directories(outside);
    std::vector<UserFile> files = {
        {game / "modloader" / "Cars" / "Kovra_sedan.ini",
         "; my sedan, tuned by hand\r\n[Kovra_Vehicle]\r\nFileVer = 1\r\nModelID = 400\r\n\r\n"
         "[SteerIK]\r\n# wider rim\r\nGrabOffset = 0.250, 0, 0.19 ; the rim\r\nRestAngle = 45.0\r\n"
         "MyNote = 3\r\n\r\n[GearIK]\r\nShiftPattern = +1\r\n\r\n[GearPattern]\r\n; my own gears\r\n"
         "MyGears = 1\r\n\r\n[Extra]\r\nKept = yes\r\n"},
        {game / "modloader" / "Cars" / "Kovra_sedan_C.ini",
         "[Kovra_Vehicle]\r\nFileVer = 1\r\nModelID = 999\r\n\r\n[SteerIK]\r\nRestAngle = 12 ; the van's\r\n", true},
        {game / "modloader" / "Cars" / "Kovra_sedan_ro.ini",
         "[Kovra_Vehicle]\r\nModelID = 400\r\n; read-only on purpose\r\n[SteerIK]\r\nRestAngle = 30\r\n", true},
        {outside / "Kovra_sedan_out.ini",
         "[Kovra_Vehicle]\r\nModelID = 400\r\n; outside the game\r\n[SteerIK]\r\nRestAngle = 20\r\n", true},
        {game / "modloader" / "Kovra_motorbike.ini",
         "[Kovra_Vehicle]\nModelID = 461\n; my bike\n[SeatJiggle]\nLeanSway = .5 # swing\n\n[Mine]\nA = 1\n"},
        {game / kovra::kGlobalSettingsFileName,
         "; my settings\n[Multipliers]\nmuThrottle = 1.0 ; as it was\n\n[Menu]\nScale = 0.6\nMyKey = 2\n"},
        {game / kovra::kPriorityAnimationsFileName, "; anims\n[PriorityAnims]\nsome_anim = 0\n"},
    };
    for (const UserFile& file : files) std::ofstream(file.path, std::ios::binary) << file.text;
    fs::create_symlink(outside / "Kovra_sedan_out.ini", game / "modloader" / "Links" / "Kovra_sedan_out.ini");
    fs::permissions(files[2].path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    return files;
}

// What of a file must never go: its comment lines, its sections, its keys.
struct Kept {
    std::vector<std::string> commentLines;
    std::map<std::string, std::vector<std::string>> keys;  // by section
};

Kept WhatMustStay(const std::string& text) {
    Kept kept;
    kovra::IniDocument doc;
    doc.parse(text);
    for (const kovra::IniLineInfo& line : doc.lineReport()) {
        if (line.kind != kovra::IniLineKind::Comment) continue;
        std::size_t start = 0;
        for (std::size_t n = 1; n < line.number; ++n) start = text.find('\n', start) + 1;
        std::string comment = text.substr(start, text.find('\n', start) - start);
        if (!comment.empty() && comment.back() == '\r') comment.pop_back();
        kept.commentLines.push_back(comment);
    }
    for (const kovra::IniSection& section : doc.sections()) {
        auto& names = kept.keys[section.name()];
        for (const kovra::IniKey& key : section.keys()) names.push_back(key.name);
    }
    return kept;
}

void CheckFile(const UserFile& file, const Kept& kept) {
    const std::string now = ReadAll(file.path);
    if (file.untouchable) {
        Require(now == file.text, file.path.string() + " was written, which the store must never do");
        return;
    }
    for (const std::string& comment : kept.commentLines) {
        Require(now.find(comment) != std::string::npos, file.path.string() + " lost the comment " + comment);
    }
    kovra::IniDocument doc;
    doc.parse(now);
    for (const auto& [sectionName, keys] : kept.keys) {
        const kovra::IniSection* section = doc.findSection(sectionName);
        Require(section != nullptr, file.path.string() + " lost the section " + sectionName);
        for (const std::string& key : keys) {
            Require(section->findKey(key) != nullptr, file.path.string() + " lost the key " + sectionName + " " + key);
        }
    }
}

void CheckTunables(const std::vector<const kovra::IkHandle*>& handles, const std::string& where) {
    for (const kovra::IkHandle* handle : handles) {
        const std::string text = handle->WriteConfig();
        Require(text.find("nan") == std::string::npos && text.find("inf") == std::string::npos,
                where + " holds a value that is not a number:\n" + text);
    }
}

class Game {
public:
    Game() {
        const fs::path& scratch = kovra::fuzz::ScratchFolder();
        files_ = MakeGameFolder(scratch / "game", scratch / "outside");
        for (const UserFile& file : files_) kept_.push_back(WhatMustStay(file.text));
        host_.SetGameDirectory((scratch / "game").string());
        host_.SetPluginDirectory((scratch / "game").string());
        host_.AddVehicleModel(kovra::sim::MakeSedanModel(kSedan));
        host_.AddVehicleModel(kovra::sim::MakeMotorbikeModel(kMotorbike));
        runtime_ = std::make_unique<kovra::Runtime>(host_);
        host_.StartGame();
        player_ = host_.CreatePed();
        other_ = host_.CreatePed();
        host_.SetPlayer(player_);
        car_ = host_.CreateVehicle(kSedan);
        bike_ = host_.CreateVehicle(kMotorbike, kovra::FrameMatrix::Identity());
        host_.SeatPed(player_, car_, true);
        host_.SeatPed(other_, bike_, true);
        for (int i = 0; i < 12; ++i) Frame();
    }

    void Step(unsigned char byte) {
        const int param = byte & 15;
        switch (byte >> 4) {
            case 0: Type("kovra"); break;
            case 1: Press(std::array{kUp, kDown, kLeft, kRight, kSpace, kBackspace, kTab, kUp}[param % 8]); break;
            case 2: Hold(kRight, param + 1); break;
            case 3: Hold(kLeft, param + 1); break;
            case 4: HoldWith(kShift, kRight, param + 1); break;
            case 5: HoldWith(kControl, kLeft, param + 1); break;
            case 6: Type(std::string(1, static_cast<char>('a' + param))); break;
            case 7:
                host_.SetMouseMovement(static_cast<float>((param - 8) * 10), static_cast<float>((8 - param) * 5));
                Frame();
                host_.SetMouseMovement(0.0f, 0.0f);
                break;
            case 8: SwapSeats(); break;
            case 9:
                for (int i = 0; i <= param * 2; ++i) Frame();
                break;
            default: Press(std::array{kDown, kUp, kSpace, kRight, kLeft, kBackspace}[(byte >> 4) - 10]); break;
        }
        Check();
    }

private:
    void Frame() { host_.RunFrame(); }
    void Type(const std::string& text) {
        host_.TypeText(text);
        Frame();
    }
    void Hold(int vk, int frames) {
        host_.SetKeyDown(vk, true);
        for (int i = 0; i < frames; ++i) Frame();
        host_.SetKeyDown(vk, false);
        Frame();
    }
    void Press(int vk) { Hold(vk, 1); }
    void HoldWith(int modifier, int vk, int frames) {
        host_.SetKeyDown(modifier, true);
        Hold(vk, frames);
        host_.SetKeyDown(modifier, false);
    }
    // The player takes the other vehicle; its rider takes his.
    void SwapSeats() {
        CVehicle* from = player_->vehicle == car_ ? car_ : bike_;
        CVehicle* to = from == car_ ? bike_ : car_;
        host_.SeatPed(player_, to, true);
        host_.SeatPed(other_, from, true);
        Frame();
    }

    void Check() {
        for (CVehicle* vehicle : {car_, bike_}) {
            const std::string fault = kovra::test::PoseFault(host_, vehicle, vehicle->driver);
            Require(fault.empty(), fault);
            if (const kovra::CabinIk* rig = runtime_->rigs().RigOf(vehicle)) {
                std::vector<const kovra::IkHandle*> live;
                for (const auto& handle : rig->handles) live.push_back(handle.get());
                CheckTunables(live, "a live handle");
            }
        }
        for (const int model : {kSedan, kMotorbike}) {
            if (const kovra::VehicleConfigRecord* record = runtime_->store().find(model)) {
                CheckTunables({record->templates.begin(), record->templates.end()}, "a template");
            }
        }
        const kovra::GlobalSettings& s = runtime_->settings();
        for (const float value : {s.muPedalSwitch, s.muThrottle, s.muSpinePush, s.muDamping, s.muStiffness,
                                  s.gWristOffsetY, s.Scale}) {
            Require(std::isfinite(value), "a setting is not finite");
        }
        Require(kovra::IsFinite(s.Position), "the menu position is not finite");
        for (std::size_t i = 0; i < files_.size(); ++i) CheckFile(files_[i], kept_[i]);
    }

    std::vector<UserFile> files_;
    std::vector<Kept> kept_;
    kovra::sim::SimHost host_;
    std::unique_ptr<kovra::Runtime> runtime_;
    CPed* player_ = nullptr;
    CPed* other_ = nullptr;
    CVehicle* car_ = nullptr;
    CVehicle* bike_ = nullptr;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    Game game;
    for (std::size_t i = 0; i < size && i < kMaxSteps; ++i) game.Step(data[i]);
    return 0;
}
