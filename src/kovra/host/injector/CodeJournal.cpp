#include "kovra/host/injector/CodeJournal.h"

#include <cstring>

namespace kovra::injector {

bool CodeJournal::Unprotect(std::uintptr_t address, std::size_t size, std::uint32_t& previous) {
    if (!closed_) {
        // Recorded before the page can be written at all.
        if (count_ == entries_.size() || size > kLongestWrite) return false;
        Entry& entry = entries_[count_];
        entry.address = address;
        entry.size = size;
        std::memcpy(entry.bytes.data(), reinterpret_cast<const void*>(address), size);
        ++count_;
    }
    if (code_.Unprotect(address, size, previous)) return true;
    if (!closed_) --count_;  // nothing was written
    return false;
}

void CodeJournal::Reprotect(std::uintptr_t address, std::size_t size, std::uint32_t previous) {
    code_.Reprotect(address, size, previous);
}

void CodeJournal::FlushCode(std::uintptr_t address, std::size_t size) { code_.FlushCode(address, size); }

bool CodeJournal::Undo() {
    bool all = true;
    while (count_ > 0) {
        const Entry& entry = entries_[--count_];
        std::uint32_t previous = 0;
        if (!code_.Unprotect(entry.address, entry.size, previous)) {
            all = false;
            continue;
        }
        std::memcpy(reinterpret_cast<void*>(entry.address), entry.bytes.data(), entry.size);
        code_.Reprotect(entry.address, entry.size, previous);
        code_.FlushCode(entry.address, entry.size);
    }
    return all;
}

void CodeJournal::Close() {
    closed_ = true;
    count_ = 0;
}

}  // namespace kovra::injector
