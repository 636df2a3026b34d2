// Feeds arbitrary bytes to the timetable's settings file reader as "Morrowset.ini", and
// each line to the conversions the load applies to it (a state, then a time "hh:mm").
// A crash, an out-of-bounds read or a line that is not the file's next line is a finding.
#include <string>
#include <string_view>

#include "timetable/settings_file.h"
#include "platform/conversions.h"
#include "platform/runtime_error.h"
#include "support/fuzz_support.h"

namespace {

using fuzzsupport::require;

// The file's lines as the reader must give them: split at LF, one CR before it removed,
// and no line after a final LF.
std::string_view nextExpectedLine(std::string_view& rest) {
    const auto end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

void convert(const std::string& line, int fieldOfRow) {
    try {
        if (fieldOfRow == 0) platform::toInteger16(line);
        if (fieldOfRow == 2 && line.size() >= 5) {
            platform::toInteger32(platform::toDouble(line.substr(0, 2)) * 3600);
            platform::toInteger32(platform::toDouble(line.substr(3, 2)) * 60);
        }
    } catch (const platform::RuntimeError&) {
        // A bad field is a trapped run-time error of the load.
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static fuzzsupport::InputFile file;
    file.hold(data, size);
    std::string_view rest(reinterpret_cast<const char*>(data), size);

    morrowset::settings::Reader reader;
    reader.open(file.path());
    for (int field = 0;; ++field) {
        std::string line;
        try {
            line = reader.readLine();
        } catch (const platform::RuntimeError& error) {
            require(error.number() == 62 && rest.empty());  // input past end, and only there
            break;
        }
        require(!rest.empty() && line == nextExpectedLine(rest));
        convert(line, field % 3);
    }
    return 0;
}
