#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kovra {

// Writes `text` to a fresh, exclusively created temporary file beside the
// file `target` names (the file a link leads to, when it is a link), flushes
// it to the disk, gives it the old file's permissions and renames it over
// that file. Either the whole new text is in place or the old file is left
// as it was; false when the file could not be written or replaced, or the
// target is neither a regular file nor missing. A file its owner made
// read-only is refused too (a rename would replace it all the same; the
// user meant it to stay). Bytes are written as given. On failure, *why (when
// given) says what stood in the way, naming the file.
bool replaceFileContents(const std::filesystem::path& target, std::string_view text,
                         std::string* why = nullptr);

}  // namespace kovra
