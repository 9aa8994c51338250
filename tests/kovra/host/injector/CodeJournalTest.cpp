#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "kovra/host/injector/CodeJournal.h"

namespace kovra::injector {
namespace {

class BufferCode : public CodeAccess {
public:
    bool refuse = false;
    int writable = 0;
    bool Unprotect(std::uintptr_t, std::size_t, std::uint32_t& previous) override {
        if (refuse) return false;
        ++writable;
        previous = 0;
        return true;
    }
    void Reprotect(std::uintptr_t, std::size_t, std::uint32_t) override { --writable; }
    void FlushCode(std::uintptr_t, std::size_t) override {}
};

void Write(CodeAccess& code, std::uint8_t* at, std::initializer_list<std::uint8_t> bytes) {
    std::uint32_t previous = 0;
    if (!code.Unprotect(reinterpret_cast<std::uintptr_t>(at), bytes.size(), previous)) return;
    std::memcpy(at, bytes.begin(), bytes.size());
    code.Reprotect(reinterpret_cast<std::uintptr_t>(at), bytes.size(), previous);
}

TEST(CodeJournal, UndoPutsBackEveryByteWrittenEvenWhereWritesOverlap) {
    std::array<std::uint8_t, 16> code{};
    for (std::size_t i = 0; i < code.size(); ++i) code[i] = static_cast<std::uint8_t>(i);
    const auto original = code;
    BufferCode buffer;
    CodeJournal journal(buffer);
    Write(journal, &code[3], {0xAA, 0xBB, 0xCC, 0xDD, 0xEE});
    Write(journal, &code[5], {1, 1, 1, 1, 1});  // over part of the first
    Write(journal, &code[0], {50});
    EXPECT_EQ(journal.recorded(), 3u);
    EXPECT_TRUE(journal.Undo());
    EXPECT_EQ(code, original);
    EXPECT_EQ(buffer.writable, 0) << "every page's protection put back";
    EXPECT_EQ(journal.recorded(), 0u);
}

TEST(CodeJournal, AWriteItCannotRecordIsRefusedAndAClosedJournalUndoesNothing) {
    std::array<std::uint8_t, 16> code{};
    BufferCode buffer;
    CodeJournal journal(buffer);
    std::uint32_t previous = 0;
    EXPECT_FALSE(journal.Unprotect(reinterpret_cast<std::uintptr_t>(code.data()), CodeJournal::kLongestWrite + 1, previous))
        << "too long to record";
    buffer.refuse = true;
    EXPECT_FALSE(journal.Unprotect(reinterpret_cast<std::uintptr_t>(code.data()), 1, previous));
    EXPECT_EQ(journal.recorded(), 0u) << "a refused page was written nothing";
    buffer.refuse = false;
    for (std::size_t i = 0; i < CodeJournal::kCapacity; ++i) Write(journal, &code[0], {7});
    EXPECT_FALSE(journal.Unprotect(reinterpret_cast<std::uintptr_t>(code.data()), 1, previous)) << "the record is full";

    journal.Close();
    Write(journal, &code[1], {9});
    EXPECT_TRUE(journal.Undo());
    EXPECT_EQ(code[0], 7);
    EXPECT_EQ(code[1], 9);
}

}  // namespace
}  // namespace kovra::injector
