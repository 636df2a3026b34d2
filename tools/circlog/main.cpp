// wardline-circlog: prints a circular trace log in the order its lines were written, so
// that the last lines of a run (a crashed one, say) can be read.
#include <cstdlib>
#include <iostream>
#include <string>

#include "circular_log_reader.h"

namespace {

int usage() {
    std::cerr << "usage: wardline-circlog [--record-size N] <circular log file>\n"
                 "Prints the log's lines in write order: lines without a sequence number (the start\n"
                 "banner) first, then the trace lines by sequence number. Empty slots are skipped.\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string path;
    int32_t recordSize = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--record-size" && i + 1 < argc) {
            recordSize = std::atoi(argv[++i]);
            if (recordSize <= 0) return usage();
        } else if (arg == "-h" || arg == "--help" || !path.empty()) {
            return usage();
        } else {
            path = arg;
        }
    }
    if (path.empty()) return usage();

    const circlog::ReadResult log = circlog::readCircularLogFile(path, recordSize);
    if (!log.ok) {
        std::cerr << "wardline-circlog: " << path << ": " << log.error << "\n";
        return 1;
    }
    for (const circlog::Record& record : log.records) std::cout << record.text << "\n";
    return 0;
}
