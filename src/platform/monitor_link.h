#pragma once
// The link between the program and an outside trace monitor: a separate program of the
// same user that shows every trace line and can hold the program while its user looks.
//
// The protocol, which is all an outside monitor has to follow:
//
// Folder   A monitor listens on a Unix-domain stream socket in the private per-user folder
//          $XDG_RUNTIME_DIR/wardline (when XDG_RUNTIME_DIR is set and not empty), otherwise
//          /tmp/wardline-<uid>. Whoever comes first creates it with mode 0700. It is refused
//          when it is not a directory (a symbolic link is refused too), belongs to another
//          user, or can be read, written or searched by group or others.
// Name     The socket's file name is the monitor's title, encoded: every byte from 0x20 to
//          0x7E stands for itself, except "%", "/" and a "." at the start, which are written,
//          like every other byte, as "%" and two upper-case hexadecimal digits. So the title
//          "Korvex Wardline - Build 7" is the file "Korvex Wardline - Build 7".
// Finding  At start-up the program lists the folder in byte order of the file names and
//          takes the first socket whose decoded title is exactly "Korvex Wardline", or whose
//          first 17 characters are "Korvex Wardline -", and that accepts a connection. It
//          keeps that one connection for the whole run.
// Peers    Both ends check the other's credentials (SO_PEERCRED): only a peer of the same
//          user is accepted.
// Request  From the program: message (32 bits), wParam (32 bits), both unsigned little-endian;
//          for message 12 only, they are followed by wParam bytes of text and one zero byte.
// Answer   From the monitor, one per request and in order: a signed 32-bit little-endian number.
//
//          message  wParam               text        answer
//          12       length of the line   the line    128: hold the program; other: go on
//          1124     1                    -           0: the hold is over; other: still holding
//          1124     2                    -           other than 0: the hold is over; 0: keep holding
//          other    any                  -           0
//
//          The line is one trace line of the program, ending in CR LF, single-byte text.
//          While it holds, the program disables its windows and asks 1124/1 then 1124/2
//          every few milliseconds, processing its own events in between.
// Time-out An answer that has not arrived within 2 seconds, a closed connection or any
//          failure counts as the answer 0, and the program drops the connection for the rest
//          of the run: a dead or hung monitor never holds the program.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

inline constexpr uint32_t kMonitorSetText = 12;
inline constexpr uint32_t kMonitorQuery = 1124;  // user message base 1024 + 100
inline constexpr uint32_t kMonitorQueryStillHolding = 1;
inline constexpr uint32_t kMonitorQueryHoldOver = 2;
inline constexpr int32_t kMonitorHold = 128;
inline constexpr int kMonitorTimeoutMilliseconds = 2000;
// A monitor may drop a connection that sends a longer line.
inline constexpr uint32_t kMonitorMaxText = 1u << 20;

// The private per-user folder (see above), as a path; it may not exist yet.
std::string monitorFolderPath();
// Opens the folder, creating it when missing; -1 with the reason in `whyNot` when it
// cannot be had or is refused (private_folder.h). The caller closes the descriptor.
int openMonitorFolder(std::string* whyNot = nullptr);

std::string encodeMonitorTitle(std::string_view title);
// nullopt when `name` is not an encoded title.
std::optional<std::string> decodeMonitorTitle(std::string_view name);
// The title rule: exactly "Korvex Wardline", or the first 17 characters "Korvex Wardline -".
bool isMonitorTitle(std::string_view title);

// The program's end: one connection to one monitor.
class MonitorLink {
public:
    MonitorLink() = default;
    ~MonitorLink();
    MonitorLink(MonitorLink&& other) noexcept;
    MonitorLink& operator=(MonitorLink&& other) noexcept;
    MonitorLink(const MonitorLink&) = delete;
    MonitorLink& operator=(const MonitorLink&) = delete;

    // Connects to the first monitor of the private folder that passes the title rule;
    // not connected() when there is none.
    static MonitorLink find();

    bool connected() const { return fd_ >= 0; }
    const std::string& title() const { return title_; }
    // Sends one request and waits for its answer; 0 when there is none (see Time-out).
    int32_t send(uint32_t message, uint32_t wParam, std::string_view text = {});
    // Sends one line (message 12) and does not wait for the answer: for a program that is
    // about to die. Uses no memory beyond its stack and never blocks, so a signal handler
    // may call it; a line the socket cannot take at once is lost.
    void sendLastLine(std::string_view line) const noexcept;

private:
    void close();
    MonitorLink(int fd, std::string title) : fd_(fd), title_(std::move(title)) {}
    bool writeAll(std::string_view bytes, int64_t deadline);
    bool readAll(char* into, std::size_t size, int64_t deadline);

    int fd_ = -1;
    std::string title_;
    std::string request_;  // reused for every request
};

// The monitor's end: listens under a title in the private folder.
class MonitorListener {
public:
    // Throws std::runtime_error with the reason when it cannot listen (folder refused,
    // title empty or too long for a socket name, another live monitor under that title).
    explicit MonitorListener(const std::string& title);
    ~MonitorListener();  // closes and removes the socket
    MonitorListener(const MonitorListener&) = delete;
    MonitorListener& operator=(const MonitorListener&) = delete;

    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    // Accepts one waiting connection; -1 when none could be accepted or the peer is
    // another user (that connection is closed at once).
    int acceptPeer();

private:
    int folderFd_ = -1;
    int fd_ = -1;
    std::string name_;
    std::string path_;
};

// Splits the bytes a monitor receives into requests.
class MonitorRequestReader {
public:
    struct Request {
        uint32_t message = 0;
        uint32_t wParam = 0;
        std::string text;  // message 12 only, without its zero byte
    };
    void feed(const char* data, std::size_t size);
    // The next complete request, if one has arrived.
    std::optional<Request> next();
    // True once a request broke the protocol (text over kMonitorMaxText, or not
    // zero-terminated); the monitor should drop the connection.
    bool broken() const { return broken_; }

private:
    std::string pending_;
    bool broken_ = false;
};

// The four bytes of an answer.
std::string encodeMonitorAnswer(int32_t answer);

}  // namespace platform
