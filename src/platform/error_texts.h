#pragma once
// The standard message texts of run-time errors, by error number.
#include <cstdint>
#include <string>

namespace platform {

// The error numbers the program raises or reports by name. They are the table's numbers
// (error_texts.cpp) and the numbers the error log, the trace and the dialog show.
enum ErrorNumber : int32_t {
    kInvalidProcedureCall = 5,
    kOverflow = 6,
    kOutOfMemory = 7,
    kSubscriptOutOfRange = 9,
    kTypeMismatch = 13,
    kInternalError = 51,
    kBadFileNameOrNumber = 52,
    kFileNotFound = 53,
    kDeviceIoError = 57,
    kFileAlreadyExists = 58,
    kDiskFull = 61,
    kInputPastEndOfFile = 62,
    kTooManyFiles = 67,
    kDeviceUnavailable = 68,
    kPermissionDenied = 70,
    kPathFileAccessError = 75,
    kPathNotFound = 76,
    kInvalidPropertyValue = 380,
};

// The classic text for `number`; numbers without an entry give
// "Application-defined or object-defined error".
std::string standardErrorText(int32_t number);

}  // namespace platform
