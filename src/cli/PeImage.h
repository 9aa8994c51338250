#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kovra::cli {

// A 32-bit Windows executable read from its file as the loader would map
// it: the image base, the image's size and its sections. Reads on any
// machine; nothing is run.
class PeImage {
public:
    struct Section {
        std::string name;
        std::uint32_t address = 0;  // relative to the image base
        std::uint32_t size = 0;     // in memory
        std::uint32_t fileOffset = 0, fileSize = 0;
        bool code = false;  // executable
    };

    // Null, with `error`, when the file is no 32-bit PE image.
    static std::optional<PeImage> Read(const std::vector<std::uint8_t>& file, std::string& error);

    std::uint32_t imageBase() const { return imageBase_; }
    std::uint32_t imageSize() const { return imageSize_; }
    const std::vector<Section>& sections() const { return sections_; }
    // The section holding the address relative to the image base, or null.
    const Section* SectionAt(std::uint32_t rva) const;
    // `count` bytes as mapped at `rva` (zeros past a section's file data);
    // false when they do not all lie in one section.
    bool Bytes(std::uint32_t rva, std::size_t count, std::vector<std::uint8_t>& out) const;

private:
    std::vector<std::uint8_t> file_;
    std::uint32_t imageBase_ = 0, imageSize_ = 0;
    std::vector<Section> sections_;
};

}  // namespace kovra::cli
