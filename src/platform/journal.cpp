#include "platform/journal.h"

#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include <systemd/sd-journal.h>

#include <array>
#include <cstring>
#include <vector>

namespace platform::journal {
namespace {

constexpr std::string_view kIdentifier = "SYSLOG_IDENTIFIER=morrowset";

// One entry's fields as "NAME=value" texts, handed to the journal in one call.
class Entry {
public:
    Entry(int priority, std::string_view messageId, std::string_view message) {
        add("PRIORITY", std::to_string(priority));
        fields_.emplace_back(kIdentifier);
        add("MESSAGE_ID", messageId);
        add("MESSAGE", message);
    }
    Entry& add(std::string_view name, std::string_view value) {
        fields_.push_back(std::string(name) + "=" + std::string(value));
        return *this;
    }
    Entry& add(std::string_view name, int64_t value) { return add(name, std::to_string(value)); }
    Entry& add(const Run& run) {
        return add("MORROWSET_ROW", run.row).add("MORROWSET_TRIGGER", run.trigger).add("MORROWSET_COMMAND", run.command);
    }
    // The journal library sends values with line breaks in its binary-safe form.
    void send() const {
        std::vector<iovec> parts;
        parts.reserve(fields_.size());
        for (const std::string& field : fields_)
            parts.push_back({const_cast<char*>(field.data()), field.size()});
        ::sd_journal_sendv(parts.data(), static_cast<int>(parts.size()));
    }

private:
    std::vector<std::string> fields_;
};

std::string runText(const Run& run) {
    return "Row " + std::to_string(run.row) + " (" + std::string(run.trigger) + ")";
}

// The socket prepared for a fatal signal's entry; -1 when the journal was not there.
int fatalSocket = -1;
sockaddr_un fatalAddress{};

// Appends to a fixed buffer, cut where it ends; line breaks in values become blanks.
struct Datagram {
    char* data;
    std::size_t capacity;
    std::size_t size = 0;

    void put(std::string_view text, bool isValue = false) noexcept {
        for (const char c : text) {
            if (size == capacity) return;
            data[size++] = isValue && (c == '\n' || c == '\r') ? ' ' : c;
        }
    }
    void field(std::string_view name, std::string_view value) noexcept {
        put(name);
        put("=");
        put(value, true);
        put("\n");
    }
    void field(std::string_view name, int64_t value) noexcept {
        char digits[24];
        std::size_t n = sizeof digits;
        uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
        do {
            digits[--n] = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude > 0);
        if (value < 0) digits[--n] = '-';
        field(name, std::string_view(digits + n, sizeof digits - n));
    }
};

}  // namespace

void runStarted(const Run& run) {
    Entry(kPriorityInfo, kRunStartId, runText(run) + " started: " + std::string(run.command)).add(run).send();
}

void runEnded(const Run& run, std::optional<int> exitStatus, std::string_view signalName, int64_t durationMs) {
    const bool good = exitStatus && *exitStatus == 0;
    const std::string how = exitStatus ? "exit status " + std::to_string(*exitStatus) : "signal " + std::string(signalName);
    Entry entry(good ? kPriorityInfo : kPriorityWarning, kRunEndId,
                runText(run) + (good ? " ended: " : " failed: ") + how);
    entry.add(run);
    if (exitStatus) entry.add("MORROWSET_EXIT_STATUS", *exitStatus);
    else entry.add("MORROWSET_SIGNAL", signalName);
    entry.add("MORROWSET_DURATION_MS", durationMs).send();
}

void runRefused(const Run& run, int32_t errorNumber) {
    Entry(kPriorityWarning, kRunRefusedId, runText(run) + " could not start: error " + std::to_string(errorNumber))
        .add(run)
        .add("WARDLINE_ERROR_NUMBER", errorNumber)
        .send();
}

void errorReported(int32_t number, std::string_view procedure, int32_t line, std::string_view message) {
    Entry(kPriorityError, kErrorReportId, message)
        .add("WARDLINE_ERROR_NUMBER", number)
        .add("WARDLINE_PROCEDURE", procedure)
        .add("WARDLINE_LINE", line)
        .send();
}

void prepareFatalEntry() noexcept {
    if (fatalSocket >= 0 || ::access(kSocketPath, W_OK) != 0) return;
    fatalSocket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    fatalAddress.sun_family = AF_UNIX;
    std::strncpy(fatalAddress.sun_path, kSocketPath, sizeof fatalAddress.sun_path - 1);
}

void sendFatalEntry(char* buffer, std::size_t capacity, std::string_view message, std::string_view procedure,
                    int32_t line, std::string_view signalName) noexcept {
    if (fatalSocket < 0) return;
    Datagram entry{buffer, capacity};
    entry.field("PRIORITY", kPriorityCritical);
    entry.put(kIdentifier);
    entry.put("\n");
    entry.field("MESSAGE_ID", kFatalSignalId);
    entry.field("MESSAGE", message);
    entry.field("WARDLINE_ERROR_NUMBER", 51);
    entry.field("WARDLINE_PROCEDURE", procedure);
    entry.field("WARDLINE_LINE", line);
    if (!signalName.empty()) entry.field("MORROWSET_SIGNAL", signalName);
    ::sendto(fatalSocket, entry.data, entry.size, MSG_NOSIGNAL | MSG_DONTWAIT,
             reinterpret_cast<const sockaddr*>(&fatalAddress), sizeof fatalAddress);
}

}  // namespace platform::journal
