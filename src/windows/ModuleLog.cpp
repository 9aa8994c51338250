#include "windows/ModuleLog.h"

#include <windows.h>

#include <cstdio>

#include "windows/ModuleFolder.h"

namespace kovra::windows {

namespace {

const char kAnchor = 0;  // an address inside this module

constexpr ULONGLONG kFaultWindowMs = 1000;
constexpr int kFaultsPerWindow = 3;

ULONGLONG faultWindowStart = 0;
int faultsInWindow = 0;
int faultsLeftOut = 0;

}  // namespace

void WriteModuleLog(const std::string& line, LogWrite mode) {
    const HMODULE self = ModuleAt(&kAnchor);
    std::wstring path;
    if (self == nullptr || !ModuleFolder(self, path)) return;
    path += L"kovra.log";
    const DWORD disposition = mode == LogWrite::Replace ? CREATE_ALWAYS : OPEN_ALWAYS;
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    if (mode == LogWrite::Append) SetFilePointer(file, 0, nullptr, FILE_END);
    const std::string text = line + "\r\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

void LogFault(const char* where, const char* what) noexcept {
    // The game's thread only, as every call of the plugin.
    const ULONGLONG now = GetTickCount64();
    if (faultWindowStart == 0 || now - faultWindowStart >= kFaultWindowMs) {
        faultWindowStart = now;
        faultsInWindow = 0;
    }
    if (faultsInWindow >= kFaultsPerWindow) {
        ++faultsLeftOut;
        return;
    }
    ++faultsInWindow;
    char line[512];
    if (faultsLeftOut > 0) {
        std::snprintf(line, sizeof line, "Kovra: fault at %s: %s (and %d more left out)", where, what, faultsLeftOut);
    } else {
        std::snprintf(line, sizeof line, "Kovra: fault at %s: %s", where, what);
    }
    faultsLeftOut = 0;
    try {
        WriteModuleLog(line, LogWrite::Append);
    } catch (...) {
        // No memory for the log's path: the line is lost, the game goes on.
    }
}

}  // namespace kovra::windows
