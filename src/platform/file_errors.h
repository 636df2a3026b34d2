#pragma once
// One place that turns operating-system error codes into run-time error numbers.
#include <cstdint>

namespace platform {

// errno -> run-time error: ENOENT 53 File not found; EACCES, EPERM, EROFS, ETXTBSY 70
// Permission denied; ENOSPC, EDQUOT, EFBIG 61 Disk full; ENOTDIR, ELOOP 76 Path not found;
// EEXIST 58 File already exists; EMFILE, ENFILE 67 Too many files; EIO 57 Device I/O error;
// ENAMETOOLONG 52 Bad file name or number; ENOMEM 7 Out of memory; ENXIO, ENODEV 68 Device
// unavailable; anything else (EISDIR among them) 75 Path/File access error.
int32_t errorNumberForErrno(int errnoValue);

// Raises the run-time error for `errnoValue`.
[[noreturn]] void raiseErrno(int errnoValue);

}  // namespace platform
