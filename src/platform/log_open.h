#pragma once
// The one way the runtime opens a log it writes (error log, disk capture, circular log,
// the mail's report file). A log name may sit in a folder other users can write (the
// current folder, an install folder), so the open never follows a planted link to one of
// the user's files, never waits for a reader, and never takes a terminal as the program's
// own. Accepted: a regular file owned by the user (created 0600 when missing), a FIFO owned
// by the user that neither group nor others can write, or a character device (/dev/stdout,
// /dev/null, a terminal). A link is only followed to a FIFO or character device. Anything
// else is refused like a missing log.
//
// The descriptor never waits: a FIFO or terminal whose reader stops reading fails the
// write (EAGAIN) instead of holding the program. Writers to a stream use writeToStream, so
// that a line goes whole or not at all, and count what was lost (lossNotice).
#include <signal.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace platform {

enum class LogAccess {
    Append,          // written at the end: FIFOs and character devices are accepted
    AppendReadable,  // written at the end and readable: only a regular file will do
    ReadWrite,       // written at offsets: only a regular file will do
};

// The open descriptor (non-blocking, close-on-exec), or -1 with errno set (ENXIO for a FIFO
// nobody reads, EPERM for a file refused). `madeNew`, when given, says the file was created.
// When the process is out of descriptors, the one held in reserve (reserveLogDescriptor) is
// given up for it, so a report still gets written; the next call takes it back.
// Only async-signal-safe calls: the crash handlers use it too.
int openLogFile(const char* path, LogAccess access, bool* madeNew = nullptr) noexcept;
inline int openLogFile(const std::string& path, LogAccess access, bool* madeNew = nullptr) {
    return openLogFile(path.c_str(), access, madeNew);
}

// Holds one descriptor in reserve for openLogFile (start-up calls it).
void reserveLogDescriptor() noexcept;

enum class StreamWrite {
    Whole,  // every byte went
    Lost,   // no byte went: the reader has not made room
    Torn,   // only the first bytes went; the reader got part of a line
};

// Writes `pieces` (up to four) to the stream `fd` as one text, whole or not at all: a FIFO
// takes up to PIPE_BUF bytes (every trace line, most reports) whole or refuses them, and a
// longer text is written only when the pipe seems to have room for all of it (the pipe
// keeps whole pages, so it may still take a part, as a terminal may). Never waits.
// Only system calls: a signal handler may use it.
StreamWrite writeToStream(int fd, std::initializer_list<std::string_view> pieces) noexcept;

// The line said before the next text that reaches a stream after `lost` texts (`what`:
// "lines", "reports") did not: "(3 lines lost here: ...)" and CR LF, starting on a line of
// its own after a torn text. Built into `into` (cut at `capacity`); a signal handler may
// use it.
std::string_view lossNotice(char* into, std::size_t capacity, int64_t lost, bool torn, std::string_view what) noexcept;
inline constexpr std::size_t kLossNoticeCapacity = 128;

// Held around writes to a log: a FIFO whose reader went away fails the write (EPIPE)
// instead of ending the program with SIGPIPE.
class BrokenPipeQuiet {
public:
    BrokenPipeQuiet();
    ~BrokenPipeQuiet();
    BrokenPipeQuiet(const BrokenPipeQuiet&) = delete;
    BrokenPipeQuiet& operator=(const BrokenPipeQuiet&) = delete;

private:
    sigset_t previousMask_{};
    bool wasPending_ = false;
};

}  // namespace platform
