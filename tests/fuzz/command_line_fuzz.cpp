// Feeds arbitrary text to the command-line splitter. Whatever words it finds, quoting each
// of them in single quotes and splitting again must give the same words back.
// A crash, an out-of-bounds read or a lost or changed word is a finding.
#include <string>
#include <vector>

#include "platform/process_start.h"
#include "platform/runtime_error.h"
#include "support/fuzz_support.h"

namespace {

std::string quoted(const std::vector<std::string>& words) {
    std::string line;
    for (const std::string& word : words) {
        line += '\'';
        for (const char c : word) line += c == '\'' ? std::string("'\\''") : std::string(1, c);
        line += "' ";
    }
    return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> words;
    try {
        words = platform::splitCommandLine(line);
    } catch (const platform::RuntimeError& error) {
        fuzzsupport::require(error.number() == 5);  // an unterminated quote
        return 0;
    }
    fuzzsupport::require(platform::splitCommandLine(quoted(words)) == words);
    return 0;
}
