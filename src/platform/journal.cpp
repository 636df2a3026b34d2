#include "platform/journal.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/file_io.h"

namespace platform::journal {
namespace {

// Failures that say there is no journal to send to: nothing is lost that could have gone.
bool noJournal(int error) { return error == ENOENT || error == ECONNREFUSED || error == ENOTDIR || error == EACCES; }

void appendLittleEndian64(std::string& out, uint64_t value) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

Entry::Entry(int priority, std::string_view messageId, std::string_view message) {
    add("PRIORITY", priority).add("MESSAGE_ID", messageId).add("MESSAGE", message);
}

Entry& Entry::add(std::string_view name, std::string_view value) {
    bytes_.append(name);
    if (value.find('\n') == std::string_view::npos) {
        bytes_.append("=").append(value).append("\n");
        return *this;
    }
    bytes_.append("\n");
    appendLittleEndian64(bytes_, value.size());
    bytes_.append(value).append("\n");
    return *this;
}

Entry& Entry::add(std::string_view name, int64_t value) { return add(name, std::to_string(value)); }

void FixedEntry::put(std::string_view text, bool isValue) noexcept {
    for (const char c : text) {
        if (size_ == capacity_) return;
        data_[size_++] = isValue && (c == '\n' || c == '\r') ? ' ' : c;
    }
}

FixedEntry& FixedEntry::add(std::string_view name, std::string_view value) noexcept {
    put(name, false);
    put("=", false);
    put(value, true);
    put("\n", false);
    return *this;
}

FixedEntry& FixedEntry::add(std::string_view name, int64_t value) noexcept {
    char digits[24];
    std::size_t n = sizeof digits;
    uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    do {
        digits[--n] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude > 0);
    if (value < 0) digits[--n] = '-';
    return add(name, std::string_view(digits + n, sizeof digits - n));
}

Journal::Journal(const AppIdentity& identity, std::string socketPath)
    : head_("SYSLOG_IDENTIFIER=" + identity.systemName + "\n"),
      fieldPrefix_(identity.journalFieldPrefix),
      socketPath_(std::move(socketPath)) {
    address_.sun_family = AF_UNIX;
    if (socketPath_.size() < sizeof address_.sun_path)
        std::memcpy(address_.sun_path, socketPath_.c_str(), socketPath_.size() + 1);
}

Journal::~Journal() {
    if (fd_ >= 0) ::close(fd_);
}

void Journal::open() noexcept {
    if (fd_ >= 0 || address_.sun_path[0] == '\0') return;
    fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
}

bool Journal::sendParts(std::string_view first, std::string_view second) const noexcept {
    iovec parts[2] = {{const_cast<char*>(first.data()), first.size()}, {const_cast<char*>(second.data()), second.size()}};
    msghdr message{};
    message.msg_name = const_cast<sockaddr_un*>(&address_);
    message.msg_namelen = sizeof address_;
    message.msg_iov = parts;
    message.msg_iovlen = 2;
    for (;;) {
        if (::sendmsg(fd_, &message, MSG_DONTWAIT | MSG_NOSIGNAL) >= 0) return true;
        if (errno != EINTR) return false;
    }
}

// The journal's way for an entry larger than a datagram: a sealed memory file, passed on
// the socket.
bool Journal::sendAsMemoryFile(std::string_view bytes) const {
    const int file = ::memfd_create("journal-entry", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (file < 0) return false;
    bool sent = writeAll(file, head_) && writeAll(file, bytes) &&
                ::fcntl(file, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) == 0;
    if (sent) {
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
        msghdr message{};
        message.msg_name = const_cast<sockaddr_un*>(&address_);
        message.msg_namelen = sizeof address_;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* passed = CMSG_FIRSTHDR(&message);
        passed->cmsg_level = SOL_SOCKET;
        passed->cmsg_type = SCM_RIGHTS;
        passed->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(passed), &file, sizeof(int));
        sent = ::sendmsg(fd_, &message, MSG_DONTWAIT | MSG_NOSIGNAL) >= 0;
    }
    const int error = errno;
    ::close(file);
    errno = error;
    return sent;
}

void Journal::send(const Entry& entry) {
    open();
    if (fd_ < 0) return;
    if (sendParts(head_, entry.bytes())) return;
    if (errno == EMSGSIZE && sendAsMemoryFile(entry.bytes())) return;
    if (!noJournal(errno)) dropped_.fetch_add(1);
}

void Journal::send(const FixedEntry& entry) const noexcept {
    if (fd_ >= 0 && !sendParts(head_, entry.bytes()) && !noJournal(errno)) dropped_.fetch_add(1);
}

}  // namespace platform::journal
