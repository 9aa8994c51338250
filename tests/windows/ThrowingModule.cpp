// throwing.asi: a module whose hook on the test host's frame routine throws
// every time it runs. The test host must go on as if nothing happened: the
// wrapper keeps the exception to itself and the game's step still runs.
#include <windows.h>

#include <stdexcept>

#include "kovra/host/injector/scoped_call.h"
#include "windows/TestHostBuilds.h"
#include "windows/WindowsCode.h"

namespace {

using kovra::injector::Convention;
using FrameHook = kovra::injector::scoped_call<0, Convention::Cdecl, std::uint32_t>;

void Throw(void*, std::uint32_t) { throw std::runtime_error("a plugin fault"); }

struct Module {
    Module() {
        const auto base = reinterpret_cast<std::uintptr_t>(GetModuleHandleA(nullptr));
        const std::uintptr_t moved = base - kovra::windows::kTestHostBase;
        for (const kovra::windows::HookSite& site : kovra::windows::testhost_sites::kSites) {
            if (site.event != kovra::HostEvent::Frame) continue;
            hook = FrameHook::Install(code, site.site + moved, site.callee + moved, &Throw, &Throw, nullptr);
        }
    }
    kovra::windows::WindowsCode code;
    FrameHook hook;
};

Module* theModule = new Module();  // kept: the hook stays for the process's life

}  // namespace
