#pragma once
// Journals of the test's own. A JournalSocket is a datagram socket bound in a folder of the
// test, for code that is told where the journal is (Services::journalSocket); it is read
// only when the test says so, so until then it is a journal whose reader never reads.
// withPrivateJournal is for code that sends to the system's path: in a child process with
// a private mount namespace, a fresh tmpfs over /run and a socket bound at the journal's
// socket path; what the code run there sends comes back to the test as parsed entries.
// Where the test may not make a mount namespace (no privilege), nothing runs and the test
// skips.
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

using JournalEntry = std::map<std::string, std::string>;

// Parses the journal's native datagram: "NAME=value\n", or "NAME\n", a 64-bit little-endian
// length, the value and "\n" for a value that may hold line breaks.
inline JournalEntry parseJournalDatagram(const std::string& bytes) {
    JournalEntry entry;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::size_t end = bytes.find('\n', at);
        if (end == std::string::npos) break;
        const std::string head = bytes.substr(at, end - at);
        const std::size_t equals = head.find('=');
        if (equals != std::string::npos) {
            entry[head.substr(0, equals)] = head.substr(equals + 1);
            at = end + 1;
            continue;
        }
        uint64_t length = 0;
        for (int i = 7; i >= 0; --i) length = (length << 8) | static_cast<unsigned char>(bytes[end + 1 + i]);
        entry[head] = bytes.substr(end + 9, length);
        at = end + 9 + length + 1;
    }
    return entry;
}

// Takes one waiting datagram from the journal socket `fd`, or the memory file passed with
// it (an entry too large for a datagram); nullopt when none is waiting.
inline std::optional<std::string> receiveJournalDatagram(int fd) {
    std::string bytes(1 << 20, '\0');
    iovec part{bytes.data(), bytes.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t n = ::recvmsg(fd, &message, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
    if (n < 0) return std::nullopt;
    bytes.resize(static_cast<std::size_t>(n));
    const cmsghdr* passed = CMSG_FIRSTHDR(&message);
    if (passed && passed->cmsg_level == SOL_SOCKET && passed->cmsg_type == SCM_RIGHTS) {
        int file = -1;
        std::memcpy(&file, CMSG_DATA(passed), sizeof file);
        bytes.clear();
        char chunk[65536];
        for (ssize_t got; (got = ::pread(file, chunk, sizeof chunk, static_cast<off_t>(bytes.size()))) > 0;)
            bytes.append(chunk, static_cast<std::size_t>(got));
        ::close(file);
    }
    return bytes;
}

// A journal socket at `path` whose entries the test takes when it wants them.
class JournalSocket {
public:
    explicit JournalSocket(const std::string& path) : path_(path) {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        bound_ = ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~JournalSocket() { ::close(fd_); }
    JournalSocket(const JournalSocket&) = delete;
    JournalSocket& operator=(const JournalSocket&) = delete;

    bool bound() const { return bound_; }
    const std::string& path() const { return path_; }
    // The entries waiting, in the order they came.
    std::vector<JournalEntry> take() {
        std::vector<JournalEntry> entries;
        while (const auto bytes = receiveJournalDatagram(fd_)) entries.push_back(parseJournalDatagram(*bytes));
        return entries;
    }

private:
    std::string path_;
    int fd_ = -1;
    bool bound_ = false;
};

// Runs `inside` in the child with the private journal; nullopt when no namespace could be
// made. Entries sent before `inside` returns are collected.
inline std::optional<std::vector<JournalEntry>> withPrivateJournal(const std::function<void()>& inside) {
    int channel[2];
    if (::pipe(channel) != 0) return std::nullopt;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", "/run", "tmpfs", 0, "mode=0755") != 0)
            ::_exit(77);
        ::mkdir("/run/systemd", 0755);
        ::mkdir("/run/systemd/journal", 0755);
        const int journal = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, "/run/systemd/journal/socket");
        if (::bind(journal, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) ::_exit(78);
        inside();
        pollfd ready{journal, POLLIN, 0};
        while (::poll(&ready, 1, 200) > 0) {
            const auto bytes = receiveJournalDatagram(journal);
            if (!bytes) break;
            const uint64_t size = bytes->size();
            if (::write(channel[1], &size, sizeof size) != sizeof size ||
                ::write(channel[1], bytes->data(), size) != static_cast<ssize_t>(size))
                ::_exit(79);
        }
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string received;
    char chunk[65536];
    for (ssize_t n; (n = ::read(channel[0], chunk, sizeof chunk)) > 0;) received.append(chunk, static_cast<std::size_t>(n));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 77) return std::nullopt;
    std::vector<JournalEntry> entries;
    for (std::size_t at = 0; at + 8 <= received.size();) {
        uint64_t size = 0;
        std::memcpy(&size, received.data() + at, sizeof size);
        entries.push_back(parseJournalDatagram(received.substr(at + 8, size)));
        at += 8 + size;
    }
    return entries;
}

}  // namespace testsupport
