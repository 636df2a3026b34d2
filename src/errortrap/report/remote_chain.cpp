#include "errortrap/report/remote_chain.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <string_view>

#include "errortrap/core/error_categories.h"
#include "platform/conversions.h"
#include "platform/error_texts.h"
#include "platform/runtime_error.h"

namespace wardline {
namespace {

constexpr int32_t kRemoteErrorNumber = 440;
constexpr int kFieldsPerLevel = 5;
constexpr char kFieldSeparator = '!';
constexpr std::string_view kUnknownField = "<unknown>";
constexpr std::string_view kRemoteTag = " (remote)";
constexpr std::string_view kLocalTag = " (local)";

using Field = std::optional<std::string_view>;
using LevelFields = std::array<Field, kFieldsPerLevel>;

// The leading count of the chain. A count that does not fit 16 bits fails to convert and
// leaves the count at 0; a negative one is taken as 0, since a negative level count would
// make every reader of the record skip even level 0.
int16_t chainLevelCount(std::string_view chain) {
    const int64_t count = platform::leadingNumber(chain);
    if (count < 0 || count > std::numeric_limits<int16_t>::max()) return 0;
    return static_cast<int16_t>(count);
}

std::size_t decimalDigits(int count) {
    return std::to_string(count).size();
}

// Takes the five fields of one level from the front of `rest`, and the "!" that ends the
// fifth. A field runs to the next "!" or to the end of the text; a field after the last
// "!" cannot be found, and neither can any field once the chain is used up.
LevelFields takeLevel(std::string_view& rest) {
    LevelFields fields;
    bool fieldStartsHere = !rest.empty();
    for (Field& field : fields) {
        if (!fieldStartsHere) break;
        const std::size_t separator = rest.find(kFieldSeparator);
        if (separator == std::string_view::npos) {
            field = rest;
            rest = {};
            fieldStartsHere = false;
        } else {
            field = rest.substr(0, separator);
            rest.remove_prefix(separator + 1);
        }
    }
    if (!fieldStartsHere) rest = {};
    return fields;
}

std::string textOf(const Field& field) {
    return std::string(field.value_or(kUnknownField));
}

// A line or error number field: its value when it is a positive 32-bit number, else 0.
int32_t positiveValue(const Field& field) {
    const int64_t value = platform::leadingNumber(field.value_or(kUnknownField));
    return value > 0 && value <= std::numeric_limits<int32_t>::max() ? static_cast<int32_t>(value) : 0;
}

ErrorLevel forwardedLevel(const LevelFields& fields, const std::string& category) {
    ErrorLevel level;
    level.source = textOf(fields[0]) + std::string(kRemoteTag);
    level.module = textOf(fields[1]);
    level.procedure = textOf(fields[2]);
    level.line = positiveValue(fields[3]);
    level.category = category;
    level.number = positiveValue(fields[4]);
    level.description = platform::standardErrorText(level.number);
    const platform::ErrorInfo raised = platform::ownErrorInfo(level.number);
    level.helpFile = raised.helpFile;
    level.helpContext = raised.helpContext;
    return level;
}

void appendPath(std::string& path, const std::string& next) {
    path.append(kPathJoin).append(next);
}

}  // namespace

void decodeRemoteChain(ErrorRecord& record, int32_t trappedNumber, const std::string& localSourceName) {
    ErrorLevel& top = record.levels[0];
    const std::string chain = top.source;
    const int16_t count = chainLevelCount(chain);

    top.description = "Remote " + platform::standardErrorText(kRemoteErrorNumber);
    top.category = ErrorClassName(ErrorClassCode(kRemoteErrorNumber));

    std::string_view rest = chain;
    if (count > 0) rest.remove_prefix(std::min(decimalDigits(count), rest.size()));

    // Levels beyond the record's ten are read past and dropped.
    const std::string category = ErrorClassName(ErrorClassCode(trappedNumber));
    for (int level = count; level >= 1; --level) {
        const LevelFields fields = takeLevel(rest);
        if (level <= kMaxErrorLevel)
            record.levels[static_cast<std::size_t>(level)] = forwardedLevel(fields, category);
    }

    top.source = localSourceName + std::string(kLocalTag);
    top.number = kRemoteErrorNumber;
    const platform::ErrorInfo raised = platform::ownErrorInfo(kRemoteErrorNumber);
    top.helpFile = raised.helpFile;
    top.helpContext = raised.helpContext;

    const int kept = std::min<int>(count, kMaxErrorLevel);
    for (int level = kept - 1; level >= 0; --level) {
        ErrorLevel& outer = record.levels[static_cast<std::size_t>(level)];
        const ErrorLevel& inner = record.levels[static_cast<std::size_t>(level) + 1];
        appendPath(outer.source, inner.source);
        appendPath(outer.module, inner.module);
        appendPath(outer.procedure, inner.procedure);
    }
    record.levelCount = static_cast<int16_t>(kept);
}

}  // namespace wardline
