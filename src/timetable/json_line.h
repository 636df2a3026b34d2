#pragma once
// One flat JSON object on one line, as the run history writes and reads it: keys with
// strings, whole numbers or null as values.
//
// Strings are bytes. Valid UTF-8 is written as it is; a byte that is not part of valid
// UTF-8 is written as the escape of a lone low surrogate, \udc80 to \udcff for the bytes
// 0x80 to 0xff (the convention of Python's "surrogateescape"), so every byte of a command
// line can be had back, and the line is still JSON that other tools read.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace morrowset::json {

// Builds a line: {"key":value,...}
class LineWriter {
public:
    LineWriter& string(std::string_view key, std::string_view bytes);
    LineWriter& number(std::string_view key, int64_t value);
    LineWriter& null(std::string_view key);
    // A string, or null when none.
    LineWriter& stringOrNull(std::string_view key, const std::optional<std::string>& bytes);
    LineWriter& numberOrNull(std::string_view key, const std::optional<int64_t>& value);
    // The object and its line end.
    std::string line() const { return text_ + "}\n"; }

private:
    void key(std::string_view name);
    std::string text_ = "{";
};

// A value read back.
struct Value {
    enum class Kind { String, Number, Null } kind = Kind::Null;
    std::string bytes;
    int64_t number = 0;
};
using Object = std::map<std::string, Value, std::less<>>;

// The object on `line` (without its line end); none when the line is not one whole flat
// object of strings, whole numbers and nulls (a cut line, garbage, nesting).
std::optional<Object> readLine(std::string_view line);

// `bytes` as a JSON string, quotes included.
std::string quoted(std::string_view bytes);

}  // namespace morrowset::json
