#pragma once
// One place that turns operating-system error codes into run-time error numbers.
#include <cstdint>

namespace platform {

// errno -> run-time error: ENOENT 53 File not found, EACCES/EPERM/EROFS 70 Permission
// denied, ENOSPC/EDQUOT 61 Disk full, ENOTDIR 76 Path not found, EEXIST 58, EMFILE/ENFILE
// 67 Too many files, EIO 57 Device I/O error, ENAMETOOLONG 52, anything else 75
// Path/File access error.
int32_t errorNumberForErrno(int errnoValue);

// Raises the run-time error for `errnoValue`.
[[noreturn]] void raiseErrno(int errnoValue);

}  // namespace platform
