// wardline-circlog: prints a circular trace log in the order its lines were written, so
// that the last lines of a run (a crashed one, say) can be read.
#include <charconv>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "circular_log_reader.h"
#include "common/tool_options.h"

namespace {

constexpr const char* kTool = "wardline-circlog";

void usage() {
    std::fputs(
        "usage: wardline-circlog [--prev] [--record-size N] LOG\n"
        "Prints the lines of the circular trace log LOG in the order they were written, oldest\n"
        "first. Empty slots are skipped; control characters are shown as \\xNN.\n"
        "  --prev           read the previous run's log, kept beside LOG as LOG.prev\n"
        "  --record-size N  take records of N bytes whatever the header says (for a log whose\n"
        "                   header lost its record size)\n"
        "  -h, --help       show this help and exit\n"
        "  -v, --version    show the version and exit\n"
        "Exit status: 0 when the log was read, 1 when the file is no readable circular log,\n"
        "2 for a wrong command line.\n",
        stdout);
}

struct Options {
    std::string path;
    bool previous = false;
    int32_t recordSize = 0;
};

std::optional<int32_t> recordSizeOf(std::string_view text) {
    int32_t size = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), size);
    if (error != std::errc() || end != text.data() + text.size() || size <= 0 ||
        size > circlog::kMaxRecordSize)
        return std::nullopt;
    return size;
}

// The exit code when the command line says to stop here.
std::optional<int> parse(int argc, char** argv, Options& options) {
    bool optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const char* value = nullptr;
        if (optionsEnd || arg.empty() || arg.front() != '-' || arg == "-") {
            if (!options.path.empty())
                return tooloptions::badCommandLine(kTool, "only one log can be read at a time");
            options.path = arg;
        } else if (arg == "--") {
            optionsEnd = true;
        } else if (tooloptions::isHelp(arg)) {
            usage();
            return 0;
        } else if (tooloptions::isVersion(arg)) {
            return tooloptions::printVersion(kTool);
        } else if (arg == "--prev") {
            options.previous = true;
        } else if (tooloptions::optionWithValue("--record-size", argc, argv, i, value)) {
            const auto size = value ? recordSizeOf(value) : std::nullopt;
            if (!size)
                return tooloptions::badCommandLine(kTool, "--record-size needs a whole number from 1 to " +
                                                              std::to_string(circlog::kMaxRecordSize));
            options.recordSize = *size;
        } else {
            return tooloptions::badCommandLine(kTool, "unknown option '" + std::string(arg) + "'");
        }
    }
    if (options.path.empty()) return tooloptions::badCommandLine(kTool, "no log file given");
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (const auto exitCode = parse(argc, argv, options)) return *exitCode;
    const std::string path = options.previous ? options.path + ".prev" : options.path;

    circlog::FileSource source;
    std::string error;
    circlog::Outcome outcome;
    if (source.open(path, error)) {
        outcome = circlog::readCircularLog(source, options.recordSize, [](const circlog::Record& record) {
            const std::string line = circlog::printable(record.text) + "\n";
            std::fwrite(line.data(), 1, line.size(), stdout);
        });
        error = outcome.error;
    }
    if (std::fflush(stdout) != 0) error = "cannot write the lines out";
    if (!outcome.ok || !error.empty()) {
        std::fprintf(stderr, "%s: %s: %s\n", kTool, path.c_str(), error.c_str());
        return 1;
    }
    return 0;
}
