// kovra lint: any text gets findings, each on a line the text has (or 0 for
// the whole file) and with a message free of bytes a terminal would swallow.
#include <algorithm>
#include <string>

#include "FuzzSupport.h"
#include "cli/Lint.h"

using kovra::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const std::string_view text = kovra::fuzz::AsText(data, size);
    const std::size_t lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) +
                              (!text.empty() && text.back() != '\n' ? 1 : 0);
    for (const kovra::cli::LintFinding& finding : kovra::cli::LintConfigText(text)) {
        Require(finding.line <= lines, "a finding on line " + std::to_string(finding.line) + " of " +
                                           std::to_string(lines));
        Require(!finding.message.empty(), "an empty finding");
        for (const char c : finding.message) {
            const auto u = static_cast<unsigned char>(c);
            Require(u >= 0x20 && u != 0x7f, "a finding holds an unprintable byte: " + finding.message);
        }
    }
    return 0;
}
