#pragma once
// One running program per application folder, by the folder itself: the folder reached as
// "home", "home/", "./home" or through a link is one folder. The first start for a folder
// holds a lock, "<name>.lock", and listens on a socket, "<name>.sock", where <name> is the
// program's system name (app_identity.h), "-" and the folder's device and inode in
// hexadecimal; so two portable copies in different folders run side by side, each with its
// own timetable.
//
// Both live in the user's private folder (private_folder.h), never in a folder other users
// can reach, where a planted link would make us create or touch a file of their choosing:
// the monitor folder (monitor_link.h) when it is the user's own, else, when another user
// made it first, the folder "wardline" in the user's configuration folder. When neither
// can be had there is no lock, and the caller should say so.
//
// A later start for the same folder finds the lock held; it asks the first one to bring
// its window to the front by connecting to its socket (only a peer of the same user is
// heard; a connection closed without a word is that request), and ends. Other requests go
// over the same socket as a line and its answer (instance_channel.h).
#include <string>

namespace platform {

enum class InstanceLock {
    First,        // the lock is ours for the rest of the run
    Another,      // another instance holds it
    Unavailable,  // no private folder, no lock file or no folder to key it on
};

// The name the lock and the socket of `applicationFolder` share, for the program whose
// system name is `systemName`; "" when the folder cannot be looked at.
std::string instanceName(const std::string& systemName, const std::string& applicationFolder);

// Takes the lock `name` (instanceName); a lock taken is held until the process ends.
// Unavailable with the reason in `whyNot`.
InstanceLock takeInstanceLock(const std::string& name, std::string* whyNot = nullptr);

// The first instance's end of the socket `name`. Listening replaces a socket left by a run
// that died: only the holder of the lock listens.
class InstanceListener {
public:
    // Not listening() when the private folder or the socket cannot be had.
    explicit InstanceListener(const std::string& name);
    ~InstanceListener();  // closes and removes the socket
    InstanceListener(const InstanceListener&) = delete;
    InstanceListener& operator=(const InstanceListener&) = delete;

    bool listening() const { return fd_ >= 0; }
    // The listening descriptor (non-blocking), to watch for readability.
    int fd() const { return fd_; }
    // The next waiting connection from this user, non-blocking; -1 when none waits (a
    // connection from another user is closed unheard). Never blocks.
    int acceptPeer();

private:
    int folderFd_ = -1;
    int fd_ = -1;
    std::string socketName_;
};

// Connects to the socket of the instance holding the lock `name`, without waiting: the
// connected descriptor (non-blocking), or -1 with errno saying why: ENOENT or ECONNREFUSED
// when nobody listens, EAGAIN when its queue of connections is full, EPERM when the peer
// runs as another user.
int connectToInstance(const std::string& name);

// Asks the instance holding the lock `name` to bring its window to the front, trying for up
// to `patienceMs` while it may still be starting. True when it was asked.
bool askFirstInstanceToShow(const std::string& name, int patienceMs);

}  // namespace platform
