// failing.asi: kovra.asi's start-up with one of its allocations made to
// fail, the one numbered by the variable KOVRA_FAIL_ALLOCATION (1 the
// first). Whatever allocation fails, start-up must leave the game's code as
// it was and say so in the log, or succeed whole.
#include <windows.h>

#include <cstdlib>
#include <new>

#include "windows/ModuleStartup.h"

namespace {

bool counting = false;
long failAt = 0;
long allocations = 0;

void* Allocate(std::size_t size) {
    if (counting && ++allocations == failAt) throw std::bad_alloc();
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}

struct Module {
    Module() noexcept {
        char text[32] = {};
        if (GetEnvironmentVariableA("KOVRA_FAIL_ALLOCATION", text, sizeof text) > 0) failAt = std::atol(text);
        counting = true;
        kovra::windows::ModuleStartup::Run();
        counting = false;
    }
};

Module theModule;

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
