#pragma once
// The system journal: structured entries sent on its datagram socket in the journal's
// native form, so that `journalctl -t <identifier>` shows one machine's entries and a site
// collects many machines' with the journal's own forwarding.
//
// The platform sends the fields it is given and names nobody: every entry of a Journal
// begins with SYSLOG_IDENTIFIER, the system name of the program's identity
// (app_identity.h), and the program's own fields begin with the identity's field prefix.
// Which entries there are, and what they carry, is the program's and the runtime's affair.
//
// Nothing is ever waited on: a journal that does not take an entry at once (a reader that
// stopped reading) loses it, and the loss is counted. Without a journal socket nothing is
// sent, nothing is counted and nothing fails.
#include <sys/un.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/app_identity.h"

namespace platform::journal {

inline constexpr int kPriorityCritical = 2;
inline constexpr int kPriorityError = 3;
inline constexpr int kPriorityWarning = 4;
inline constexpr int kPriorityInfo = 6;

// Where the system's journal listens for entries.
inline constexpr const char* kSocketPath = "/run/systemd/journal/socket";

// One entry: its PRIORITY, its kind's fixed MESSAGE_ID, a readable MESSAGE, then the fields
// of its kind. A value with line breaks is sent whole, in the journal's binary-safe form.
class Entry {
public:
    Entry(int priority, std::string_view messageId, std::string_view message);
    Entry& add(std::string_view name, std::string_view value);
    Entry& add(std::string_view name, int64_t value);
    // The entry as the socket takes it.
    const std::string& bytes() const { return bytes_; }

private:
    std::string bytes_;
};

// An entry built in a buffer of fixed size, for a signal handler: it allocates nothing,
// turns line breaks in values into blanks and is cut where the buffer ends.
class FixedEntry {
public:
    FixedEntry(char* buffer, std::size_t capacity) noexcept : data_(buffer), capacity_(capacity) {}
    FixedEntry& add(std::string_view name, std::string_view value) noexcept;
    FixedEntry& add(std::string_view name, int64_t value) noexcept;
    std::string_view bytes() const noexcept { return {data_, size_}; }

private:
    void put(std::string_view text, bool isValue) noexcept;
    char* data_;
    std::size_t capacity_;
    std::size_t size_ = 0;
};

// The journal one program sends to.
class Journal {
public:
    // Entries go to the socket at `socketPath`, under `identity`'s name.
    explicit Journal(const AppIdentity& identity, std::string socketPath = kSocketPath);
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // What the names of the program's own fields begin with: "<PREFIX>ROW".
    const std::string& fieldPrefix() const { return fieldPrefix_; }

    // Opens the socket now, which waits for nothing; send() opens it when it must. A signal
    // handler's entry needs it opened before (at start-up): it may not open one.
    void open() noexcept;
    // Sends `entry` without waiting. An entry the journal does not take at once is lost
    // and counted; one too large for a datagram goes as a sealed memory file, as the
    // journal's protocol allows.
    void send(const Entry& entry);
    // Sends `entry` on the socket opened before; async-signal-safe.
    void send(const FixedEntry& entry) const noexcept;
    // How many entries were lost since the last call; async-signal-safe.
    uint64_t takeDropped() noexcept { return dropped_.exchange(0); }

private:
    bool sendParts(std::string_view first, std::string_view second) const noexcept;
    bool sendAsMemoryFile(std::string_view bytes) const;

    std::string head_;  // "SYSLOG_IDENTIFIER=<system name>\n"
    std::string fieldPrefix_;
    std::string socketPath_;
    sockaddr_un address_{};
    int fd_ = -1;
    mutable std::atomic<uint64_t> dropped_{0};
};

}  // namespace platform::journal
