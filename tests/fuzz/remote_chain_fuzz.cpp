// Feeds arbitrary text to the remote chain decoder as the source of a forwarded error.
// Any crash, out-of-bounds read or broken promise about the record is a finding.
#include <cstddef>
#include <cstdint>
#include <string>

#include "errortrap/report/remote_chain.h"

namespace {

void require(bool promise) {
    if (!promise) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    wardline::ErrorRecord record;
    record.levels[0].source.assign(reinterpret_cast<const char*>(data), size);
    record.levels[0].module = "frmMain.frm";
    record.levels[0].procedure = "Sub cmdGo_Click";

    wardline::decodeRemoteChain(record, 440, "Morrowset");

    require(record.levelCount >= 0 && record.levelCount <= wardline::kMaxErrorLevel);
    require(record.levels[0].number == 440);
    require(record.levels[0].source.rfind("Morrowset (local)", 0) == 0);
    for (int n = 1; n <= record.levelCount; ++n) {
        const wardline::ErrorLevel& level = record.levels[static_cast<std::size_t>(n)];
        require(level.line >= 0 && level.number >= 0);
        require(level.source.find(" (remote)") != std::string::npos);
    }
    return 0;
}
