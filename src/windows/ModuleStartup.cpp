#include "windows/ModuleStartup.h"

#include <windows.h>

#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <utility>

#include "kovra/host/Runtime.h"
#include "windows/HostBuilds.h"
#include "windows/ModuleFolder.h"
#include "windows/ModuleLog.h"
#include "windows/WindowsHost.h"

namespace kovra::windows {

namespace {

// Built in place and never destroyed once start-up succeeded: at process
// exit the game's hooks and memory are left exactly as they are, and nothing
// of the plugin runs after the game's own shutdown has begun.
template <class T>
class Lasting {
public:
    template <class... Args>
    T& Emplace(Args&&... args) {
        object_ = ::new (static_cast<void*>(storage_)) T(std::forward<Args>(args)...);
        return *object_;
    }
    void Destroy() noexcept {
        if (object_ != nullptr) object_->~T();
        object_ = nullptr;
    }

private:
    alignas(T) unsigned char storage_[sizeof(T)];
    T* object_ = nullptr;
};

Lasting<BuildCatalogue> theBuilds;
Lasting<WindowsHost> theHost;
Lasting<Runtime> theRuntime;

const char kAnchor = 0;  // an address inside this module

std::string Hex(std::uintptr_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

// True when another copy of the module started in this process first. The
// name is the process's own; the handle stays open for the process's life.
bool AnotherCopyFirst() {
    char name[64];
    std::snprintf(name, sizeof name, "Local\\kovra.asi.%lu", static_cast<unsigned long>(GetCurrentProcessId()));
    const HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
    return mutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
}

std::string OwnFile() {
    const HMODULE self = ModuleAt(&kAnchor);
    char path[MAX_PATH] = {};
    if (self != nullptr) GetModuleFileNameA(self, path, MAX_PATH);
    return path;
}

// The lines about descriptions refused, each followed by a line break.
std::string Refusals(const BuildCatalogue& builds) {
    std::string lines;
    for (const std::string& refused : builds.refused) {
        lines += "Kovra: refused the description " + refused + "\r\n";
    }
    return lines;
}

void Fail(WindowsHost* host, const char* step, const char* what) noexcept {
    // The runtime's hooks come out first, then every byte start-up wrote.
    theRuntime.Destroy();
    const bool restored = host == nullptr || host->UndoStartup();
    try {
        const std::string where = host != nullptr ? host->Step() : step;
        WriteModuleLog(std::string("Kovra: start-up failed while ") + where + ": " + what + "; " +
                           (restored ? "every byte of the game is as it was"
                                     : "some bytes of the game could not be put back"),
                       LogWrite::Replace);
    } catch (...) {
        LogFault("start-up", what);
    }
    theHost.Destroy();
    theBuilds.Destroy();
}

}  // namespace

void ModuleStartup::Run() noexcept {
    WindowsHost* host = nullptr;
    const char* step = "pinning the module";
    try {
        // Pinned: the game's patched sites lead into this module until the
        // process ends, so it must never be unloaded.
        HMODULE pinned = nullptr;
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN, &kAnchor, &pinned);
        step = "looking for another copy";
        if (AnotherCopyFirst()) {
            WriteModuleLog("Kovra: " + OwnFile() + " is a second copy; another copy runs in this game, so this one changed nothing",
                           LogWrite::Append);
            return;
        }
        step = "reading the build descriptions";
        const HMODULE self = ModuleAt(&kAnchor);
        std::wstring folder;
        if (self == nullptr || !ModuleFolder(self, folder)) folder.clear();
        BuildCatalogue& builds = theBuilds.Emplace(ReadBuildDescriptions(folder + L"kovra-builds\\", "kovra-builds\\"));
        step = "recognising the build";
        const auto base = reinterpret_cast<std::uintptr_t>(GetModuleHandleA(nullptr));
        std::string tried;
        const BuildDescription* description = IdentifyBuild(base, builds, &tried);
        if (description == nullptr) {
            const std::string why = builds.read.empty()
                                        ? "no build description could be read from kovra-builds\\"
                                        : "it is no build described (" + tried + ")";
            WriteModuleLog(Refusals(builds) + "Kovra: the game at " + Hex(base) + " is not known: " + why +
                               "; nothing was changed",
                           LogWrite::Replace);
            return;
        }
        const HostBuild* build = &description->build();
        // Every place the host operations read or call must be the game's:
        // one outside its image would be read blindly later, in the game's
        // calls. Such a description is refused whole.
        const std::uintptr_t imageSize = ImageSize(base);
        for (const BuildDescription::Place& place : description->Places()) {
            if (place.address >= build->preferredBase && place.address - build->preferredBase < imageSize) continue;
            WriteModuleLog(Refusals(builds) + "Kovra: refused the description " + place.where + ": " + place.what +
                               " at " + Hex(place.address) + " lies outside the game's image; nothing was changed",
                           LogWrite::Replace);
            return;
        }
        step = "building the host";
        host = &theHost.Emplace(*build, base, &kAnchor);
        host->SetStep("starting the plugin");
        theRuntime.Emplace(*host);
        host->SetStep("writing the log");
        std::string line = Refusals(builds) + "Kovra: " + build->name + " (" + description->file() + ", of " +
                           std::to_string(builds.files) + " description files) at " + Hex(base) + ":";
        for (const std::string& entry : host->journal()) line += " " + entry;
        WriteModuleLog(line, LogWrite::Replace);
        host->EndStartup();
    } catch (const std::exception& e) {
        Fail(host, step, e.what());
    } catch (...) {
        Fail(host, step, "an unknown exception");
    }
}

}  // namespace kovra::windows
