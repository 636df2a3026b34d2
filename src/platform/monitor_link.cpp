#include "platform/monitor_link.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/private_folder.h"

namespace platform {
namespace {

constexpr std::string_view kTitle = "Korvex Wardline";
constexpr std::string_view kTitlePrefix = "Korvex Wardline -";

void putUint32(std::string& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

uint32_t getUint32(const char* bytes) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[i]);
    return value;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool standsForItself(unsigned char c, bool first) {
    return c >= 0x20 && c <= 0x7E && c != '%' && c != '/' && !(first && c == '.');
}

// A connected, non-blocking socket to `path` whose peer is this user; -1 otherwise.
int connectTo(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    const sockaddr_un address = socketAddress(path);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || !peerIsSameUser(fd)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool isSocketIn(int folderFd, const std::string& name) {
    struct stat info {};
    return ::fstatat(folderFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISSOCK(info.st_mode);
}

// A socket by the kind the listing gives, asked of the file itself only where the folder's
// file system does not say: the folder also holds every instance's lock, and every start
// lists it.
bool listedAsSocket(int folderFd, const dirent& entry) {
    if (entry.d_type != DT_UNKNOWN) return entry.d_type == DT_SOCK;
    return isSocketIn(folderFd, entry.d_name);
}

// The socket names of the folder in byte order.
std::vector<std::string> socketNames(int folderFd) {
    std::vector<std::string> names;
    const int listFd = ::dup(folderFd);
    if (listFd < 0) return names;
    DIR* dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        if (listedAsSocket(folderFd, *entry)) names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// Waits until `fd` is ready for `events` or the deadline passes.
bool waitFor(int fd, short events, int64_t deadline) {
    for (;;) {
        const int64_t left = deadline - monotonicMilliseconds();
        if (left <= 0) return false;
        pollfd waiting{fd, events, 0};
        const int ready = ::poll(&waiting, 1, static_cast<int>(left));
        if (ready > 0) return true;
        if (ready < 0 && errno != EINTR) return false;
    }
}

}  // namespace

std::string monitorFolderPath() {
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    if (runtimeDir && *runtimeDir) return std::string(runtimeDir) + "/wardline";
    return "/tmp/wardline-" + std::to_string(::geteuid());
}

int openMonitorFolder(std::string* whyNot) { return openPrivateFolder(monitorFolderPath(), whyNot); }

std::string encodeMonitorTitle(std::string_view title) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string name;
    for (std::size_t i = 0; i < title.size(); ++i) {
        const auto c = static_cast<unsigned char>(title[i]);
        if (standsForItself(c, i == 0)) {
            name.push_back(static_cast<char>(c));
        } else {
            name.push_back('%');
            name.push_back(kHex[c >> 4]);
            name.push_back(kHex[c & 0xF]);
        }
    }
    return name;
}

std::optional<std::string> decodeMonitorTitle(std::string_view name) {
    std::string title;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] != '%') {
            if (!standsForItself(static_cast<unsigned char>(name[i]), i == 0)) return std::nullopt;
            title.push_back(name[i]);
            continue;
        }
        if (i + 2 >= name.size()) return std::nullopt;
        const int high = hexValue(name[i + 1]);
        const int low = hexValue(name[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        title.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    // One spelling per title: "%41" is not a name for "A".
    if (encodeMonitorTitle(title) != name) return std::nullopt;
    return title;
}

bool isMonitorTitle(std::string_view title) {
    return title == kTitle || title.substr(0, kTitlePrefix.size()) == kTitlePrefix;
}

// --- the program's end ---

MonitorLink::~MonitorLink() { close(); }

MonitorLink::MonitorLink(MonitorLink&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), title_(std::move(other.title_)) {}

MonitorLink& MonitorLink::operator=(MonitorLink&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        title_ = std::move(other.title_);
    }
    return *this;
}

MonitorLink MonitorLink::find() {
    const int folderFd = openMonitorFolder();
    if (folderFd < 0) return {};
    const std::string folder = monitorFolderPath();
    MonitorLink found;
    for (const std::string& name : socketNames(folderFd)) {
        const auto title = decodeMonitorTitle(name);
        if (!title || !isMonitorTitle(*title)) continue;
        const std::string path = socketPathIn(folderFd, folder, name);
        if (path.empty()) continue;
        const int fd = connectTo(path);
        if (fd < 0) continue;  // a monitor that has gone away left its socket behind
        found = MonitorLink(fd, *title);
        break;
    }
    ::close(folderFd);
    return found;
}

void MonitorLink::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool MonitorLink::writeAll(std::string_view bytes, int64_t deadline) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(sent));
        } else if (sent < 0 && errno == EINTR) {
            continue;
        } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitFor(fd_, POLLOUT, deadline)) return false;
        } else {
            return false;
        }
    }
    return true;
}

bool MonitorLink::readAll(char* into, std::size_t size, int64_t deadline) {
    while (size > 0) {
        const ssize_t got = ::recv(fd_, into, size, 0);
        if (got > 0) {
            into += got;
            size -= static_cast<std::size_t>(got);
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitFor(fd_, POLLIN, deadline)) return false;
        } else {
            return false;  // closed by the monitor, or broken
        }
    }
    return true;
}

void MonitorLink::sendLastLine(std::string_view line) const noexcept {
    if (fd_ < 0) return;
    line = line.substr(0, kMonitorMaxText);
    char header[8];
    const uint32_t fields[2] = {kMonitorSetText, static_cast<uint32_t>(line.size())};
    for (int i = 0; i < 8; ++i) header[i] = static_cast<char>((fields[i / 4] >> (8 * (i % 4))) & 0xFF);
    char zero = '\0';
    iovec pieces[3] = {{header, sizeof header}, {const_cast<char*>(line.data()), line.size()}, {&zero, 1}};
    msghdr message{};
    message.msg_iov = pieces;
    message.msg_iovlen = 3;
    while (::sendmsg(fd_, &message, MSG_NOSIGNAL | MSG_DONTWAIT) < 0 && errno == EINTR) {
    }
}

int32_t MonitorLink::send(uint32_t message, uint32_t wParam, std::string_view text) {
    if (fd_ < 0) return 0;
    request_.clear();
    putUint32(request_, message);
    if (message == kMonitorSetText) {
        text = text.substr(0, kMonitorMaxText);
        putUint32(request_, static_cast<uint32_t>(text.size()));
        request_.append(text);
        request_.push_back('\0');
    } else {
        putUint32(request_, wParam);
    }
    const int64_t deadline = monotonicMilliseconds() + kMonitorTimeoutMilliseconds;
    char answer[4];
    if (!writeAll(request_, deadline) || !readAll(answer, sizeof answer, deadline)) {
        // A late answer would be taken for the next request's: drop the connection.
        close();
        return 0;
    }
    return static_cast<int32_t>(getUint32(answer));
}

// --- the monitor's end ---

MonitorListener::MonitorListener(const std::string& title) {
    std::string whyNot;
    folderFd_ = openMonitorFolder(&whyNot);
    if (folderFd_ < 0) throw std::runtime_error("cannot use the monitor folder " + whyNot);
    auto fail = [&](const std::string& reason) {
        if (fd_ >= 0) ::close(fd_);
        ::close(folderFd_);
        throw std::runtime_error(reason);
    };
    if (title.empty()) fail("a monitor needs a title");
    name_ = encodeMonitorTitle(title);
    path_ = socketPathIn(folderFd_, monitorFolderPath(), name_);
    if (path_.empty()) fail("the title \"" + title + "\" is too long for a socket name");

    struct stat existing {};
    if (::fstatat(folderFd_, name_.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!S_ISSOCK(existing.st_mode)) fail(path_ + " exists and is not a socket");
        const int live = connectTo(path_);
        if (live >= 0) {
            ::close(live);
            fail("another monitor already listens as \"" + title + "\"");
        }
        ::unlinkat(folderFd_, name_.c_str(), 0);  // left behind by a monitor that died
    }
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) fail(std::string("socket: ") + std::strerror(errno));
    const sockaddr_un address = socketAddress(path_);
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(fd_, 16) != 0)
        fail(path_ + ": " + std::strerror(errno));
}

MonitorListener::~MonitorListener() {
    ::close(fd_);
    ::unlinkat(folderFd_, name_.c_str(), 0);
    ::close(folderFd_);
}

int MonitorListener::acceptPeer() {
    const int peer = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (peer < 0) return -1;
    if (peerIsSameUser(peer)) return peer;
    ::close(peer);
    return -1;
}

void MonitorRequestReader::feed(const char* data, std::size_t size) { pending_.append(data, size); }

std::optional<MonitorRequestReader::Request> MonitorRequestReader::next() {
    constexpr std::size_t kHead = 8;
    if (broken_ || pending_.size() < kHead) return std::nullopt;
    Request request;
    request.message = getUint32(pending_.data());
    request.wParam = getUint32(pending_.data() + 4);
    std::size_t size = kHead;
    if (request.message == kMonitorSetText) {
        if (request.wParam > kMonitorMaxText) {
            broken_ = true;
            return std::nullopt;
        }
        size += request.wParam + 1;
        if (pending_.size() < size) return std::nullopt;
        if (pending_[size - 1] != '\0') {
            broken_ = true;
            return std::nullopt;
        }
        request.text.assign(pending_, kHead, request.wParam);
    }
    pending_.erase(0, size);
    return request;
}

std::string encodeMonitorAnswer(int32_t answer) {
    std::string bytes;
    putUint32(bytes, static_cast<uint32_t>(answer));
    return bytes;
}

}  // namespace platform
