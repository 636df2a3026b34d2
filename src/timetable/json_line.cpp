#include "timetable/json_line.h"

#include <cstdio>

namespace morrowset::json {

namespace {

constexpr char kHex[] = "0123456789abcdef";
constexpr uint32_t kEscapedByteBase = 0xDC00;  // \udc80..\udcff stand for the bytes 0x80..0xff

// The length of the valid UTF-8 sequence at `at`, 0 when the byte there starts none.
std::size_t utf8Length(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead == 0xE0) length = 3, low = 0xA0;             // no overlong forms
    else if (lead == 0xED) length = 3, high = 0x9F;            // no surrogates
    else if (lead >= 0xE1 && lead <= 0xEF) length = 3;
    else if (lead == 0xF0) length = 4, low = 0x90;
    else if (lead == 0xF4) length = 4, high = 0x8F;            // nothing past U+10FFFF
    else if (lead >= 0xF1 && lead <= 0xF3) length = 4;
    else return 0;
    if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (std::size_t i = at + 2; i < at + length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    return length;
}

void appendUnicodeEscape(std::string& out, uint32_t unit) {
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(unit >> shift) & 0xF];
}

void appendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Reads one flat object, character by character.
class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    std::optional<Object> object() {
        Object result;
        if (!take('{')) return std::nullopt;
        if (take('}')) return end(result);
        do {
            std::string key;
            Value value;
            if (!string(key) || !take(':') || !this->value(value)) return std::nullopt;
            result.insert_or_assign(std::move(key), std::move(value));
        } while (take(','));
        if (!take('}')) return std::nullopt;
        return end(result);
    }

private:
    std::optional<Object> end(Object& result) {
        skipBlanks();
        if (at_ != text_.size()) return std::nullopt;
        return std::move(result);
    }
    void skipBlanks() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\r')) ++at_;
    }
    bool take(char c) {
        skipBlanks();
        if (at_ >= text_.size() || text_[at_] != c) return false;
        ++at_;
        return true;
    }
    bool value(Value& value) {
        skipBlanks();
        if (text_.substr(at_).starts_with("null")) {
            at_ += 4;
            value.kind = Value::Kind::Null;
            return true;
        }
        if (at_ < text_.size() && text_[at_] == '"') {
            value.kind = Value::Kind::String;
            return string(value.bytes);
        }
        value.kind = Value::Kind::Number;
        return number(value.number);
    }
    bool number(int64_t& value) {
        const bool negative = at_ < text_.size() && text_[at_] == '-';
        if (negative) ++at_;
        const std::size_t first = at_;
        value = 0;
        while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9' && at_ - first < 18)
            value = value * 10 + (text_[at_++] - '0');
        if (negative) value = -value;
        return at_ > first && (at_ >= text_.size() || text_[at_] < '0' || text_[at_] > '9');
    }
    bool hexUnit(uint32_t& unit) {
        if (at_ + 4 > text_.size()) return false;
        unit = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = text_[at_++];
            const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                           : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (digit < 0) return false;
            unit = unit * 16 + static_cast<uint32_t>(digit);
        }
        return true;
    }
    bool unicodeEscape(std::string& out) {
        uint32_t unit = 0;
        if (!hexUnit(unit)) return false;
        if (unit >= kEscapedByteBase + 0x80 && unit <= kEscapedByteBase + 0xFF) {
            out += static_cast<char>(unit - kEscapedByteBase);
            return true;
        }
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            uint32_t low = 0;
            if (!text_.substr(at_).starts_with("\\u")) return false;
            at_ += 2;
            if (!hexUnit(low) || low < 0xDC00 || low > 0xDFFF) return false;
            appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
            return true;
        }
        if (unit >= 0xDC00 && unit <= 0xDFFF) return false;
        appendUtf8(out, unit);
        return true;
    }
    bool string(std::string& out) {
        if (!take('"')) return false;
        out.clear();
        while (at_ < text_.size()) {
            const char c = text_[at_++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at_ >= text_.size()) return false;
            const char escaped = text_[at_++];
            switch (escaped) {
                case '"': case '\\': case '/': out += escaped; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'u':
                    if (!unicodeEscape(out)) return false;
                    break;
                default: return false;
            }
        }
        return false;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

}  // namespace

std::string quoted(std::string_view bytes) {
    std::string out = "\"";
    for (std::size_t at = 0; at < bytes.size();) {
        const unsigned char c = static_cast<unsigned char>(bytes[at]);
        const std::size_t length = utf8Length(bytes, at);
        if (length == 0) {
            appendUnicodeEscape(out, kEscapedByteBase + c);
            ++at;
            continue;
        }
        if (length > 1) {
            out.append(bytes.substr(at, length));
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            appendUnicodeEscape(out, c);
        } else {
            out += static_cast<char>(c);
        }
        at += length;
    }
    return out + "\"";
}

void LineWriter::key(std::string_view name) {
    if (text_.size() > 1) text_ += ',';
    text_ += quoted(name);
    text_ += ':';
}

LineWriter& LineWriter::string(std::string_view key, std::string_view bytes) {
    this->key(key);
    text_ += quoted(bytes);
    return *this;
}

LineWriter& LineWriter::number(std::string_view key, int64_t value) {
    this->key(key);
    text_ += std::to_string(value);
    return *this;
}

LineWriter& LineWriter::null(std::string_view key) {
    this->key(key);
    text_ += "null";
    return *this;
}

LineWriter& LineWriter::stringOrNull(std::string_view key, const std::optional<std::string>& bytes) {
    return bytes ? string(key, *bytes) : null(key);
}

LineWriter& LineWriter::numberOrNull(std::string_view key, const std::optional<int64_t>& value) {
    return value ? number(key, *value) : null(key);
}

std::optional<Object> readLine(std::string_view line) { return Reader(line).object(); }

}  // namespace morrowset::json
