#pragma once
// Writing whole buffers and making folder entries durable. writeAll and syncFolder call
// only async-signal-safe functions and allocate nothing: the crash handlers use them too.
#include <string>
#include <string_view>

namespace platform {

// Writes all of `bytes` to `fd`, going on after an interrupted or short write. False when
// a write fails, with errno saying why (EIO when the file took no byte at all).
bool writeAll(int fd, std::string_view bytes) noexcept;

// Makes the entries of `folder` durable, so that a file made or renamed in it survives a
// crash. Best effort: a folder that cannot be opened or synced is left as it is.
void syncFolder(const char* folder) noexcept;

// The folder part of `path`: "." for a bare name, "/" for a name in the root folder.
std::string folderOf(const std::string& path);

}  // namespace platform
