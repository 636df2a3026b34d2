#include "platform/autostart.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string execLine(const std::string& exePath) {
    const auto entry = platform::autostartEntry(exePath);
    if (!entry) return "(refused)";
    const std::size_t at = entry->find("\nExec=");
    return entry->substr(at + 6, entry->find('\n', at + 1) - at - 6);
}

// The path is one quoted argument whatever it holds; what an entry cannot carry is refused.
TEST(Autostart, TheExecutableIsOneQuotedArgument) {
    const struct {
        std::string path;
        std::string exec;
    } cases[] = {
        {"/usr/lib/morrowset/Morrowset", R"("/usr/lib/morrowset/Morrowset")"},
        {"/home/u/my tools/Morrowset", R"("/home/u/my tools/Morrowset")"},
        {"/home/u/a\"b/Morrowset", R"("/home/u/a\\"b/Morrowset")"},
        {"/home/u/$x`y`/Morrowset", R"("/home/u/\\$x\\`y\\`/Morrowset")"},
        {"/home/u/back\\slash/M", R"("/home/u/back\\\\slash/M")"},
        {"/home/u/100%/M", R"("/home/u/100%%/M")"},
        {"/home/u/caf\xC3\xA9/M", "\"/home/u/caf\xC3\xA9/M\""},
        {"/home/u/line\nbreak/M", "(refused)"},
        {"/home/u/latin1-\xE9/M", "(refused)"},
        {"/home/u/cut-\xC3", "(refused)"},
        {"relative/Morrowset", "(refused)"},
    };
    for (const auto& c : cases) EXPECT_EQ(execLine(c.path), c.exec) << c.path;
}

}  // namespace
