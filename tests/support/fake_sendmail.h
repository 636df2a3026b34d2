#pragma once
// A stand-in for the system's sendmail: a shell script, named by $SENDMAIL while the
// object lives, that keeps its arguments and the message it was given, and a small
// reader for the MIME message it captured.
#include <unistd.h>

#include <QByteArray>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/mail_transport.h"

namespace morrowset::testing {

class FakeSendmail {
public:
    // `afterReading` runs once the message is captured, e.g. "exit 1". An empty `program`
    // keeps the script; any other names the sendmail to use instead (a missing one, say).
    explicit FakeSendmail(const std::filesystem::path& folder, const std::string& afterReading = "",
                          const std::string& program = "")
        : folder_(folder) {
        const std::filesystem::path script = folder / "sendmail";
        std::ofstream out(script);
        out << "#!/bin/sh\n"
            << "printf '%s\\n' \"$@\" > '" << (folder / "args").string() << "'\n"
            << "cat > '" << (folder / "message").string() << "'\n"
            << afterReading << "\n";
        out.close();
        std::filesystem::permissions(script, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                                 std::filesystem::perms::group_exec |
                                                 std::filesystem::perms::others_read |
                                                 std::filesystem::perms::others_exec);
        if (const char* previous = std::getenv("SENDMAIL")) previous_ = previous;
        ::setenv("SENDMAIL", program.empty() ? script.c_str() : program.c_str(), 1);
    }
    ~FakeSendmail() {
        if (previous_)
            ::setenv("SENDMAIL", previous_->c_str(), 1);
        else
            ::unsetenv("SENDMAIL");
    }
    FakeSendmail(const FakeSendmail&) = delete;
    FakeSendmail& operator=(const FakeSendmail&) = delete;

    // These wait first until every queued message has been through sendmail.
    bool ran() const {
        awaitDelivery();
        return std::filesystem::exists(folder_ / "args");
    }
    std::vector<std::string> arguments() const {
        awaitDelivery();
        std::ifstream in(folder_ / "args");
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    std::string message() const {
        awaitDelivery();
        std::ifstream in(folder_ / "message", std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // Forgets what was captured, for the next send.
    static void awaitDelivery() { platform::SendmailTransport::waitUntilIdle(std::chrono::seconds(60)); }
    void clear() const {
        awaitDelivery();
        std::filesystem::remove(folder_ / "args");
        std::filesystem::remove(folder_ / "message");
    }

private:
    std::filesystem::path folder_;
    std::optional<std::string> previous_;
};

// One part of a MIME message (or the message itself): its headers and its content, with
// base64 content decoded.
struct MimePart {
    std::map<std::string, std::string> headers;
    std::string content;

    std::string header(const std::string& name) const {
        const auto found = headers.find(name);
        return found == headers.end() ? std::string() : found->second;
    }
};

inline MimePart parseMimePart(const std::string& text) {
    MimePart part;
    const std::size_t blank = text.find("\n\n");
    std::istringstream headerLines(text.substr(0, blank));
    for (std::string line; std::getline(headerLines, line);) {
        const std::size_t colon = line.find(": ");
        if (colon != std::string::npos) part.headers[line.substr(0, colon)] = line.substr(colon + 2);
    }
    part.content = blank == std::string::npos ? std::string() : text.substr(blank + 2);
    if (part.header("Content-Transfer-Encoding") == "base64")
        part.content = QByteArray::fromBase64(QByteArray::fromStdString(part.content)).toStdString();
    return part;
}

struct ParsedMail {
    MimePart top;
    std::vector<MimePart> parts;
};

// Splits a multipart message at its boundary (taken from the Content-Type header); the
// line break before a boundary belongs to the boundary.
inline ParsedMail parseMail(const std::string& message) {
    ParsedMail mail;
    mail.top = parseMimePart(message);
    const std::string type = mail.top.header("Content-Type");
    const std::size_t at = type.find("boundary=\"");
    if (at == std::string::npos) return mail;
    const std::string boundary = "--" + type.substr(at + 10, type.find('"', at + 10) - (at + 10));
    std::size_t start = mail.top.content.find(boundary + "\n");
    while (start != std::string::npos) {
        start += boundary.size() + 1;
        const std::size_t end = mail.top.content.find("\n" + boundary, start);
        if (end == std::string::npos) break;
        mail.parts.push_back(parseMimePart(mail.top.content.substr(start, end - start)));
        start = mail.top.content.find(boundary + "\n", end + 1);
    }
    return mail;
}

}  // namespace morrowset::testing
