#pragma once
// One running program per application folder. The first start for a folder holds a lock,
// "morrowset-<key>.lock", and listens on a socket, "morrowset-<key>.sock", both in the
// user's private folder (the monitor folder, made 0700 and checked), never in a folder
// other users can write, where a planted link would make us create or touch a file of
// their choosing. <key> is 16 hexadecimal digits of a hash of the folder's path, so two
// portable copies in different folders run side by side, each with its own timetable.
//
// A later start for the same folder finds the lock held; it asks the first one to bring
// its window to the front by connecting to its socket (only a peer of the same user is
// heard; the connection itself is the request), and ends.
#include <string>

namespace platform {

enum class InstanceLock {
    First,        // the lock is ours for the rest of the run
    Another,      // another instance holds it
    Unavailable,  // no private folder or no lock file: taken as the first instance
};

// The name the lock and the socket of `applicationFolder` share: "morrowset-" and the key.
std::string instanceName(const std::string& applicationFolder);

// Takes the lock of `applicationFolder`; a lock taken is held until the process ends.
InstanceLock takeInstanceLock(const std::string& applicationFolder);

// The first instance's end of the socket. Listening replaces a socket left by a run that
// died: only the holder of the lock listens.
class InstanceListener {
public:
    // Not listening() when the private folder or the socket cannot be had.
    explicit InstanceListener(const std::string& applicationFolder);
    ~InstanceListener();  // closes and removes the socket
    InstanceListener(const InstanceListener&) = delete;
    InstanceListener& operator=(const InstanceListener&) = delete;

    bool listening() const { return fd_ >= 0; }
    // The listening descriptor (non-blocking), to watch for readability.
    int fd() const { return fd_; }
    // Takes the waiting connections; true when one of them, from this user, asked for the
    // window. Never blocks.
    bool takeRequests();

private:
    int folderFd_ = -1;
    int fd_ = -1;
    std::string name_;
};

// Asks the instance holding the lock of `applicationFolder` to bring its window to the
// front, trying for up to `patienceMs` while it may still be starting. True when it was asked.
bool askFirstInstanceToShow(const std::string& applicationFolder, int patienceMs);

}  // namespace platform
