#include "windows/ModuleLog.h"

#include <windows.h>

#include "windows/ModuleFolder.h"

namespace kovra::windows {

void WriteModuleLog(const void* addressInModule, const std::string& line) {
    const HMODULE self = ModuleAt(addressInModule);
    std::wstring path;
    if (self == nullptr || !ModuleFolder(self, path)) return;
    path += L"kovra.log";
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    const std::string text = line + "\r\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

}  // namespace kovra::windows
