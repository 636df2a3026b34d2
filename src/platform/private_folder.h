#pragma once
// Folders and sockets of one user alone. A private folder is made with mode 0700 and
// refused when it is no folder (a symbolic link included), belongs to another user, or
// group or others may read, write or search it: in a folder others can reach they could
// plant links and files under the names we create, or reach our sockets. A socket in such
// a folder hears only peers of the same user.
#include <sys/un.h>

#include <string>

namespace platform {

// Opens `folder`, creating it when missing (its parent must exist); -1 with
// "<folder>: <reason>" in `whyNot` when it cannot be had or is refused. The caller closes
// the descriptor.
int openPrivateFolder(const std::string& folder, std::string* whyNot = nullptr);

// The path of socket `name` in `folder`, open as `folderFd`: its ordinary path when that
// fits in a socket address, else the same folder reached through the open descriptor; ""
// when neither fits.
std::string socketPathIn(int folderFd, const std::string& folder, const std::string& name);
// The address of the socket at `path` (one socketPathIn gave).
sockaddr_un socketAddress(const std::string& path);

// True when the peer of the connected Unix-domain socket `socketFd` runs as this user
// (SO_PEERCRED).
bool peerIsSameUser(int socketFd);

}  // namespace platform
