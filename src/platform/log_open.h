#pragma once
// The one way the runtime opens a log it writes (error log, disk capture, circular log,
// the mail's report file). A log name may sit in a folder other users can write (the
// current folder, an install folder), so the open never follows a planted link to one of
// the user's files, never waits for a reader, and never takes a terminal as the program's
// own. Accepted: a regular file owned by the user (created 0600 when missing), a FIFO owned
// by the user, or a character device (/dev/stdout, /dev/null, a terminal). A link is only
// followed to a FIFO or character device. Anything else is refused like a missing log.
#include <signal.h>

#include <string>

namespace platform {

enum class LogAccess {
    Append,          // written at the end: FIFOs and character devices are accepted
    AppendReadable,  // written at the end and readable: only a regular file will do
    ReadWrite,       // written at offsets: only a regular file will do
};

// The open descriptor (blocking, close-on-exec), or -1 with errno set (ENXIO for a FIFO
// nobody reads, EPERM for a file refused). `madeNew`, when given, says the file was created.
// Only async-signal-safe calls: the crash handlers use it too.
int openLogFile(const char* path, LogAccess access, bool* madeNew = nullptr) noexcept;
inline int openLogFile(const std::string& path, LogAccess access, bool* madeNew = nullptr) {
    return openLogFile(path.c_str(), access, madeNew);
}

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
