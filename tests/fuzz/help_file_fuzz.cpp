// Feeds arbitrary bytes to the help file reader: the first four bytes choose the topic,
// the rest is the file. A crash, an out-of-bounds read or a topic that breaks the reader's
// promises (its number, no empty lines at the ends of its body) is a finding.
#include <cstring>
#include <sstream>
#include <string>

#include "platform/help_file.h"
#include "support/fuzz_support.h"

namespace {

using fuzzsupport::require;

bool blank(const std::string& line) {
    return line.find_first_not_of(" \t") == std::string::npos;
}

std::string firstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}
std::string lastLine(const std::string& text) {
    return text.substr(text.rfind('\n') + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    int32_t context = 0;
    if (size >= sizeof context) {
        std::memcpy(&context, data, sizeof context);
        data += sizeof context;
        size -= sizeof context;
    }
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    const auto topic = platform::findHelpTopic(in, context);
    if (!topic) return 0;
    require(topic->context == context);
    require(topic->title.find('\n') == std::string::npos);
    if (!topic->body.empty()) require(!blank(firstLine(topic->body)) && !blank(lastLine(topic->body)));
    const std::string shown = platform::reflowHelpText(topic->body);
    require(shown.empty() == topic->body.empty());
    return 0;
}
