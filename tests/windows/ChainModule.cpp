// chain.asi: another module as players run beside kovra.asi. It hooks the
// test host's frame site, the car's vehicle-process site and the driver's
// IK site the way such modules do: whatever the branch leads to now, its
// wrapper calls on. At exit it writes how often each of its hooks ran to
// "<its name>.txt" beside itself. With "nop" in its name it instead clears the
// bike-process site's call to no-operations before kovra.asi loads.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "kovra/host/injector/BranchPatch.h"
#include "kovra/host/injector/scoped_call.h"
#include "kovra/host/injector/scoped_jmp.h"
#include "windows/TestHostBuilds.h"
#include "windows/WindowsCode.h"

namespace {

using kovra::HostEvent;
using kovra::injector::BranchPatch;
using kovra::injector::Convention;
using FrameHook = kovra::injector::scoped_call<0, Convention::Cdecl, std::uint32_t>;
using ProcessHook = kovra::injector::scoped_call<1, Convention::Thiscall, std::uint32_t>;
using PedIkHook = kovra::injector::scoped_jmp<2, Convention::Thiscall, std::uint32_t>;

int frames = 0, processes = 0, pedIks = 0;
void CountFrame(void*, std::uint32_t) { ++frames; }
void CountProcess(void*, std::uint32_t) { ++processes; }
void CountPedIk(void*, std::uint32_t) { ++pedIks; }

std::string OwnPath() {
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&CountFrame), &self);
    char path[MAX_PATH] = {};
    GetModuleFileNameA(self, path, MAX_PATH);
    return path;
}

const kovra::windows::HookSite& SiteOf(HostEvent event, std::uint8_t opcode) {
    for (const kovra::windows::HookSite& site : kovra::windows::testhost_sites::kSites) {
        if (site.event == event && site.opcode == opcode) return site;
    }
    return kovra::windows::testhost_sites::kSites[0];
}

struct Module {
    Module() {
        const auto moved = reinterpret_cast<std::uintptr_t>(GetModuleHandleA(nullptr)) - kovra::windows::kTestHostBase;
        const std::string path = OwnPath();
        const std::string name = path.substr(path.find_last_of("\\/") + 1);
        if (name.find("nop") != std::string::npos) {
            const std::uintptr_t site = SiteOf(HostEvent::BikeProcess, BranchPatch::kCall).site + moved;
            std::uint32_t previous = 0;
            if (code.Unprotect(site, 5, previous)) {
                std::memset(reinterpret_cast<void*>(site), 0x90, 5);
                code.Reprotect(site, 5, previous);
            }
            return;
        }
        const auto at = [&](HostEvent event, std::uint8_t opcode) {
            return SiteOf(event, opcode).site + moved;
        };
        const std::uintptr_t frame = at(HostEvent::Frame, BranchPatch::kCall);
        const std::uintptr_t process = at(HostEvent::VehicleProcess, BranchPatch::kCall);
        const std::uintptr_t pedIk = at(HostEvent::PedIk, BranchPatch::kJmp);
        frameHook = FrameHook::Install(code, frame, BranchPatch::TargetOf(frame), &CountFrame, nullptr, nullptr);
        processHook = ProcessHook::Install(code, process, BranchPatch::TargetOf(process), &CountProcess, nullptr, nullptr);
        pedIkHook = PedIkHook::Install(code, pedIk, BranchPatch::TargetOf(pedIk), &CountPedIk, nullptr, nullptr);
        counts = path.substr(0, path.size() - 4) + ".txt";
    }
    kovra::windows::WindowsCode code;
    FrameHook frameHook;
    ProcessHook processHook;
    PedIkHook pedIkHook;
    std::string counts;
};

Module* theModule = new Module();  // kept: the hooks stay for the process's life

// Written when the process ends.
struct Counts {
    ~Counts() {
        if (theModule->counts.empty()) return;
        if (FILE* out = std::fopen(theModule->counts.c_str(), "wb")) {
            std::fprintf(out, "frame %d vehicle-process %d ped-ik %d\n", frames, processes, pedIks);
            std::fclose(out);
        }
    }
} counts;

}  // namespace
