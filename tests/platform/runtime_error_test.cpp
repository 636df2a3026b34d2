// The error object, the standard error texts and the errno mapping.
#include <gtest/gtest.h>

#include <cerrno>
#include <new>
#include <stdexcept>
#include <string>

#include "platform/app_object.h"
#include "platform/error_texts.h"
#include "platform/file_errors.h"
#include "platform/runtime_error.h"
#include "support/scoped_services.h"

namespace {

constexpr const char* kNoEntry = "Application-defined or object-defined error";

TEST(StandardErrorText, ClassicWordingForTheNumbersTheProgramMeets) {
    // The knowledge-base search looks these texts up word for word.
    const struct {
        int32_t number;
        const char* text;
    } cases[] = {
        {5, "Invalid procedure call or argument"},
        {6, "Overflow"},
        {7, "Out of memory"},
        {9, "Subscript out of range"},
        {11, "Division by zero"},
        {13, "Type mismatch"},
        {52, "Bad file name or number"},
        {53, "File not found"},
        {57, "Device I/O error"},
        {58, "File already exists"},
        {61, "Disk full"},
        {62, "Input past end of file"},
        {67, "Too many files"},
        {68, "Device unavailable"},
        {70, "Permission denied"},
        {75, "Path/File access error"},
        {76, "Path not found"},
        {91, "Object variable or With block variable not set"},
        {380, "Invalid property value"},
        {440, "Automation error"},
        {482, "Printer error"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::standardErrorText(c.number), c.text) << c.number;
    }
}

TEST(StandardErrorText, NumbersWithoutAnEntryGiveTheApplicationDefinedText) {
    for (int32_t number : {0, 1, 2, 4, 8, 12, 50, 77, 1000, 32767, 40000, 2147483647, -1, -2147221504 + 5}) {
        EXPECT_EQ(platform::standardErrorText(number), kNoEntry) << number;
    }
}

TEST(ErrnoMapping, OperatingSystemCodesBecomeFileErrors) {
    const struct {
        int code;
        int32_t number;
    } cases[] = {
        {ENOENT, 53}, {EACCES, 70},      {EPERM, 70},  {EROFS, 70},  {ENOSPC, 61}, {EDQUOT, 61},
        {ENOTDIR, 76}, {EEXIST, 58},     {EMFILE, 67}, {ENFILE, 67}, {EIO, 57},    {ENAMETOOLONG, 52},
        {ENOMEM, 7},  {EISDIR, 75},      {EBUSY, 75},  {0, 75},      {-1, 75},     {99999, 75},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::errorNumberForErrno(c.code), c.number) << "errno " << c.code;
}

TEST(ErrnoMapping, RaisesTheMappedRunTimeError) {
    try {
        platform::raiseErrno(ENOENT);
        FAIL() << "raiseErrno returned";
    } catch (const platform::RuntimeError& error) {
        EXPECT_EQ(error.number(), 53);
        EXPECT_EQ(error.info().description, "File not found");
    }
}

TEST(RuntimeError, RaisingAnErrorFillsTheErrorObject) {
    const testsupport::ScopedServices services;  // Morrowset's identity names the source
    try {
        platform::raiseError(91);
        FAIL() << "raiseError returned";
    } catch (const platform::RuntimeError& error) {
        const platform::ErrorInfo& info = error.info();
        EXPECT_EQ(info.number, 91);
        EXPECT_EQ(info.source, "Morrowset");
        EXPECT_EQ(info.description, "Object variable or With block variable not set");
        EXPECT_EQ(info.helpContext, 91);
        EXPECT_EQ(info.line, 0);
    }
}

TEST(RuntimeError, AnErrorFromElsewhereKeepsItsOwnFields) {
    platform::ErrorInfo remote;
    remote.number = -2147221504 + 17;
    remote.source = "3!Server.Object";
    remote.helpFile = "server.hlp";
    remote.helpContext = 4711;
    const auto info = platform::errorInfoFor(std::make_exception_ptr(platform::RuntimeError(remote)));
    EXPECT_EQ(info.number, remote.number);
    EXPECT_EQ(info.source, remote.source);
    EXPECT_EQ(info.helpFile, remote.helpFile);
    EXPECT_EQ(info.helpContext, remote.helpContext);
}

TEST(RuntimeError, OtherExceptionsMapToTheirNearestStandardError) {
    const struct {
        std::exception_ptr error;
        int32_t number;
    } cases[] = {
        {std::make_exception_ptr(std::bad_alloc()), 7},
        {std::make_exception_ptr(std::out_of_range("index")), 9},
        {std::make_exception_ptr(std::overflow_error("big")), 6},
        {std::make_exception_ptr(std::invalid_argument("bad")), 5},
        {std::make_exception_ptr(std::runtime_error("other")), 51},
        {std::make_exception_ptr(42), 51},
    };
    const testsupport::ScopedServices services;
    for (const auto& c : cases) {
        const auto info = platform::errorInfoFor(c.error);
        EXPECT_EQ(info.number, c.number);
        EXPECT_EQ(info.source, "Morrowset");
        EXPECT_EQ(info.description, platform::standardErrorText(c.number));
        EXPECT_EQ(info.helpFile, platform::app().runtimeHelpFile());
        EXPECT_EQ(info.helpContext, c.number);
    }
}

TEST(RuntimeError, ClearingResetsEveryField) {
    platform::ErrorInfo& current = platform::currentError();
    current = {53, "Morrowset", "File not found", "x.hlp", 53, 120};
    platform::clearError();
    EXPECT_EQ(current.number, 0);
    EXPECT_EQ(current.source, "");
    EXPECT_EQ(current.description, "");
    EXPECT_EQ(current.helpFile, "");
    EXPECT_EQ(current.helpContext, 0);
    EXPECT_EQ(current.line, 0);
}

}  // namespace
