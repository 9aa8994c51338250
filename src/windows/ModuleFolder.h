#pragma once

#include <windows.h>

#include <string>

namespace kovra::windows {

// The module whose code or data holds an address; null when none does. The
// module's reference count is left as it is.
HMODULE ModuleAt(const void* address);

// The folder of a module's file, ending in its separator ("" when the name
// has no folder); false when Windows has no file name for the module.
bool ModuleFolder(HMODULE module, std::wstring& out);

}  // namespace kovra::windows
