#include "cli/PeImage.h"

#include <cstring>

namespace kovra::cli {

namespace {

std::uint32_t Word32(const std::vector<std::uint8_t>& f, std::size_t at) {
    std::uint32_t v = 0;
    if (at + 4 <= f.size()) std::memcpy(&v, f.data() + at, 4);
    return v;  // little-endian on every machine this runs on
}

std::uint16_t Word16(const std::vector<std::uint8_t>& f, std::size_t at) {
    std::uint16_t v = 0;
    if (at + 2 <= f.size()) std::memcpy(&v, f.data() + at, 2);
    return v;
}

constexpr std::uint32_t kExecutable = 0x20000000;  // IMAGE_SCN_MEM_EXECUTE
constexpr std::uint32_t kCode = 0x00000020;        // IMAGE_SCN_CNT_CODE

}  // namespace

std::optional<PeImage> PeImage::Read(const std::vector<std::uint8_t>& file, std::string& error) {
    if (file.size() < 64 || file[0] != 'M' || file[1] != 'Z') {
        error = "no executable (no MZ header)";
        return std::nullopt;
    }
    const std::size_t pe = Word32(file, 0x3C);
    if (pe + 24 > file.size() || std::memcmp(file.data() + pe, "PE\0\0", 4) != 0) {
        error = "no PE header";
        return std::nullopt;
    }
    const std::size_t optional = pe + 24;
    const std::uint16_t sectionCount = Word16(file, pe + 6);
    const std::uint16_t optionalSize = Word16(file, pe + 20);
    if (Word16(file, optional) != 0x10B) {
        error = "not a 32-bit executable";
        return std::nullopt;
    }
    PeImage image;
    image.imageBase_ = Word32(file, optional + 28);
    image.imageSize_ = Word32(file, optional + 56);
    const std::size_t table = optional + optionalSize;
    if (table + std::size_t{sectionCount} * 40 > file.size()) {
        error = "the section table is cut short";
        return std::nullopt;
    }
    for (std::size_t i = 0; i < sectionCount; ++i) {
        const std::size_t at = table + i * 40;
        Section s;
        s.name.assign(reinterpret_cast<const char*>(file.data() + at), strnlen(reinterpret_cast<const char*>(file.data() + at), 8));
        s.size = Word32(file, at + 8);
        s.address = Word32(file, at + 12);
        s.fileSize = Word32(file, at + 16);
        s.fileOffset = Word32(file, at + 20);
        const std::uint32_t flags = Word32(file, at + 36);
        s.code = (flags & (kExecutable | kCode)) != 0;
        if (s.size == 0) s.size = s.fileSize;
        image.sections_.push_back(s);
    }
    image.file_ = file;
    return image;
}

const PeImage::Section* PeImage::SectionAt(std::uint32_t rva) const {
    for (const Section& s : sections_) {
        if (rva >= s.address && rva - s.address < s.size) return &s;
    }
    return nullptr;
}

bool PeImage::Bytes(std::uint32_t rva, std::size_t count, std::vector<std::uint8_t>& out) const {
    const Section* s = SectionAt(rva);
    if (s == nullptr || count > s->size - (rva - s->address)) return false;
    out.assign(count, 0);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t inSection = rva - s->address + static_cast<std::uint32_t>(i);
        const std::size_t at = std::size_t{s->fileOffset} + inSection;
        if (inSection < s->fileSize && at < file_.size()) out[i] = file_[at];
    }
    return true;
}

}  // namespace kovra::cli
