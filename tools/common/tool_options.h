#pragma once
// What every command-line tool of the project does with its command line: "--help" and
// "--version" print to standard output and end with 0; a wrong command line prints one line
// saying what is wrong, and where help is, to standard error and ends with 2.
#include <cstdio>
#include <string>
#include <string_view>

#include "morrowset_version.h"

namespace tooloptions {

inline constexpr int kBadCommandLine = 2;

inline bool isHelp(std::string_view arg) {
    return arg == "-h" || arg == "--help";
}
inline bool isVersion(std::string_view arg) {
    return arg == "-v" || arg == "--version";
}

inline int printVersion(const char* tool) {
    std::printf("%s (Morrowset) %s\n", tool, MORROWSET_VERSION);
    return 0;
}

inline int badCommandLine(const char* tool, const std::string& what) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", tool, what.c_str(), tool);
    return kBadCommandLine;
}

// "--name VALUE" or "--name=VALUE" at argv[i]: true when `arg` is that option; `value` is
// then its value, or nullptr when the command line ends without one. Moves `i` past it.
inline bool optionWithValue(std::string_view name, int argc, char** argv, int& i, const char*& value) {
    const std::string_view arg = argv[i];
    if (arg == name) {
        value = i + 1 < argc ? argv[++i] : nullptr;
        return true;
    }
    if (arg.size() > name.size() && arg.substr(0, name.size()) == name && arg[name.size()] == '=') {
        value = argv[i] + name.size() + 1;
        return true;
    }
    return false;
}

}  // namespace tooloptions
