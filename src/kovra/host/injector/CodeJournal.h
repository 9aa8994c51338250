#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "kovra/host/injector/CodeAccess.h"

namespace kovra::injector {

// The game's code behind a record of every change made through it: the
// bytes a write is about to change are kept before the write can happen, so
// that a start-up that fails half way can put every one of them back. The
// record is a fixed array, filled without allocating; a write it has no room
// to record is refused. Once start-up is over the record is closed and
// writes pass through unrecorded.
class CodeJournal : public CodeAccess {
public:
    static constexpr std::size_t kCapacity = 160;
    static constexpr std::size_t kLongestWrite = 8;

    explicit CodeJournal(CodeAccess& code) : code_(code) {}

    bool Unprotect(std::uintptr_t address, std::size_t size, std::uint32_t& previous) override;
    void Reprotect(std::uintptr_t address, std::size_t size, std::uint32_t previous) override;
    void FlushCode(std::uintptr_t address, std::size_t size) override;

    // Puts back every recorded byte, latest write first, and empties the
    // record; false when some page would not turn writable again.
    bool Undo();
    // Start-up is over: nothing recorded is undone any more.
    void Close();
    std::size_t recorded() const { return count_; }

private:
    struct Entry {
        std::uintptr_t address = 0;
        std::size_t size = 0;
        std::array<std::uint8_t, kLongestWrite> bytes{};
    };
    CodeAccess& code_;
    std::array<Entry, kCapacity> entries_{};
    std::size_t count_ = 0;
    bool closed_ = false;
};

}  // namespace kovra::injector
