#include "platform/file_errors.h"

#include <cerrno>
#include <utility>

#include "platform/error_texts.h"
#include "platform/runtime_error.h"

namespace platform {
namespace {

// Any other errno value is kPathFileAccessError too.
constexpr std::pair<int, ErrorNumber> kErrnoNumbers[] = {
    {ENOENT, kFileNotFound},
    {EACCES, kPermissionDenied},
    {EPERM, kPermissionDenied},
    {EROFS, kPermissionDenied},
    {ETXTBSY, kPermissionDenied},
    {ENOSPC, kDiskFull},
    {EDQUOT, kDiskFull},
    {EFBIG, kDiskFull},
    {ENOTDIR, kPathNotFound},
    {ELOOP, kPathNotFound},
    {EEXIST, kFileAlreadyExists},
    {EMFILE, kTooManyFiles},
    {ENFILE, kTooManyFiles},
    {EIO, kDeviceIoError},
    {ENAMETOOLONG, kBadFileNameOrNumber},
    {ENOMEM, kOutOfMemory},
    {EISDIR, kPathFileAccessError},
    {ENXIO, kDeviceUnavailable},
    {ENODEV, kDeviceUnavailable},
};

}  // namespace

int32_t errorNumberForErrno(int errnoValue) {
    for (const auto& [code, number] : kErrnoNumbers)
        if (code == errnoValue) return number;
    return kPathFileAccessError;
}

void raiseErrno(int errnoValue) { raiseError(errorNumberForErrno(errnoValue)); }

}  // namespace platform
