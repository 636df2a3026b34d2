#include "platform/file_errors.h"

#include <cerrno>
#include <utility>

#include "platform/runtime_error.h"

namespace platform {
namespace {

constexpr std::pair<int, int32_t> kErrnoNumbers[] = {
    {ENOENT, 53}, {EACCES, 70}, {EPERM, 70},       {EROFS, 70},  {ETXTBSY, 70}, {ENOSPC, 61},
    {EDQUOT, 61}, {EFBIG, 61},  {ENOTDIR, 76},     {ELOOP, 76},  {EEXIST, 58},  {EMFILE, 67},
    {ENFILE, 67}, {EIO, 57},    {ENAMETOOLONG, 52}, {ENOMEM, 7},  {EISDIR, 75},  {ENXIO, 68},
    {ENODEV, 68},
};
constexpr int32_t kPathFileAccessError = 75;

}  // namespace

int32_t errorNumberForErrno(int errnoValue) {
    for (const auto& [code, number] : kErrnoNumbers)
        if (code == errnoValue) return number;
    return kPathFileAccessError;
}

void raiseErrno(int errnoValue) { raiseError(errorNumberForErrno(errnoValue)); }

}  // namespace platform
