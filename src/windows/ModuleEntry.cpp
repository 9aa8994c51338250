// kovra.asi: the game loads it at start-up and constructs its one global
// object, which recognises the game's build and builds the plugin's Runtime
// on it. From then on everything happens in the game's calls to the hooked
// sites.
#include <windows.h>

#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <utility>

#include "kovra/host/Runtime.h"
#include "windows/HostBuilds.h"
#include "windows/ModuleLog.h"
#include "windows/WindowsHost.h"

namespace {

using kovra::Runtime;
using kovra::windows::WindowsHost;

// Built in place and never destroyed: at process exit the game's hooks and
// memory are left exactly as they are, and nothing of the plugin runs after
// the game's own shutdown has begun.
template <class T>
class Lasting {
public:
    template <class... Args>
    T& Emplace(Args&&... args) {
        object_ = ::new (static_cast<void*>(storage_)) T(std::forward<Args>(args)...);
        return *object_;
    }

private:
    alignas(T) unsigned char storage_[sizeof(T)];
    T* object_ = nullptr;
};

std::string Hex(std::uintptr_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

class Module {
public:
    Module() noexcept {
        const void* self = static_cast<const void*>(&kAnchor);
        try {
            // Pinned: the game's patched sites lead into this module until
            // the process ends, so it must never be unloaded.
            HMODULE pinned = nullptr;
            GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                               static_cast<LPCSTR>(self), &pinned);
            const auto base = reinterpret_cast<std::uintptr_t>(GetModuleHandleA(nullptr));
            const kovra::windows::HostBuild* build = kovra::windows::IdentifyBuild(base);
            if (build == nullptr) {
                kovra::windows::WriteModuleLog(self, "Kovra: the game at " + Hex(base) +
                                                         " is no supported build; nothing was changed");
                return;
            }
            WindowsHost& host = host_.Emplace(*build, base, self);
            runtime_.Emplace(host);
            std::string line = "Kovra: " + std::string(build->name) + " at " + Hex(base) + ":";
            for (const std::string& step : host.journal()) line += " " + step;
            kovra::windows::WriteModuleLog(self, line);
        } catch (const std::exception& e) {
            kovra::windows::WriteModuleLog(self, std::string("Kovra: start-up failed: ") + e.what());
        } catch (...) {
            kovra::windows::WriteModuleLog(self, "Kovra: start-up failed");
        }
    }

private:
    static const char kAnchor;
    Lasting<WindowsHost> host_;
    Lasting<Runtime> runtime_;
};

const char Module::kAnchor = 0;

// The one global object.
Module theModule;

}  // namespace
