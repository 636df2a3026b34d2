#pragma once
// Profiles ("WLCLIENT.INI", "win.INI") name where logs go, where reports are mailed and
// how figures look, so only a file that no other user can change is believed: the user's
// own, or root's in a folder of root's or the user's that nobody else can change (a system
// folder such as /etc, an install folder). Neither group nor
// others may write it. A refused file reads as missing, and one line on standard error
// (once per file and run) says which file was ignored and why.
#include <optional>
#include <string>

namespace platform {

// Why a file of that owner and mode, in a folder of that owner and mode, is not to be
// believed; nullopt when it is.
std::optional<std::string> profileDistrust(unsigned ownerUid, unsigned mode, unsigned folderOwnerUid,
                                           unsigned folderMode);

// The whole text of the profile at `path`; nullopt when it is missing, no regular file
// (a FIFO is not waited on), or refused.
std::optional<std::string> readTrustedProfile(const std::string& path);

}  // namespace platform
