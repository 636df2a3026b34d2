#pragma once
// Writing whole buffers and making folder entries durable. writeAll and syncFolder call
// only async-signal-safe functions and allocate nothing: the crash handlers use them too.
#include <sys/types.h>

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

// Replaces the file at `path` with `bytes`, written under "<path>.new" (new files get
// `mode`, a link there is refused) and renamed into place, so a reader never sees half a
// file. Raises the run-time error for the system's error; the old file stays on failure.
void replaceFileWhole(const std::string& path, std::string_view bytes, mode_t mode);

}  // namespace platform
