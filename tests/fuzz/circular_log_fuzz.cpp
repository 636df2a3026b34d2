// Feeds arbitrary bytes to the circular-log reader, once with the size its header gives and
// once with a size taken from the input. A crash, an out-of-bounds read, or a record that
// breaks the reader's promises (a slot of the file, given once, a line without its end or
// its padding, no longer than a record) is a finding.
#include <set>
#include <string_view>

#include "circular_log_reader.h"
#include "support/fuzz_support.h"

namespace {

using fuzzsupport::require;

void readChecked(std::string_view bytes, int32_t recordSizeHint) {
    circlog::BytesSource source(bytes);
    std::set<int64_t> slots;
    const circlog::Outcome outcome =
        circlog::readCircularLog(source, recordSizeHint, [&](const circlog::Record& record) {
            require(slots.insert(record.slot).second);
            require(!record.text.empty() && record.text.find('\0') == std::string::npos);
            require(record.text.back() != '\n' && record.text.back() != '\r');
            require(record.sequence == circlog::sequenceOf(record.text));
        });
    if (!outcome.ok) {
        require(!outcome.error.empty());
        return;
    }
    const auto size = static_cast<std::size_t>(outcome.recordSize);
    const std::size_t slotCount = (bytes.size() - circlog::kHeaderSize + size - 1) / size;
    require(outcome.recordSize > 0 && outcome.recordSize <= circlog::kMaxRecordSize);
    require(slots.empty() || (*slots.begin() >= 1 && static_cast<std::size_t>(*slots.rbegin()) <= slotCount));
    if (recordSizeHint > 0) require(outcome.recordSize == recordSizeHint);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    readChecked(bytes, 0);
    if (size > 0) readChecked(bytes, 1 + data[size - 1] % 97);
    const std::string shown = circlog::printable(bytes);
    for (const char c : shown) require(static_cast<unsigned char>(c) >= 0x20 || c == '\t');
    return 0;
}
