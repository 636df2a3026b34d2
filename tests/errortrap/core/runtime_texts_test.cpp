// The runtime's numbered texts and the error categories.
#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "errortrap/wardline.h"
#include "platform/app_object.h"
#include "platform/clock.h"
#include "support/fake_clock.h"
#include "support/scoped_runtime.h"

namespace {

using wardline::ErrorClassCode;
using wardline::ErrorClassName;
using wardline::pfText;
using wardline::TextId;

TEST(RuntimeTexts, NumbersWithoutAnEntryGiveTheEmptyText) {
    for (int16_t number : {-32768, -1, 0, 2, 3, 15, 45, 46, 47, 54, 56, 57, 59, 60, 63, 64, 100, 32767})
        EXPECT_EQ(pfText(number), "") << number;
}

TEST(RuntimeTexts, TextsKeepTheirBlanksAndSpelling) {
    const struct {
        int16_t number;
        const char* text;
    } cases[] = {
        {1, "] END PROGRAM "},
        {16, " error"},
        {17, " <unavailable: line numbers not used>"},
        {19, "Module    "},
        {24, " - Internal Error Handler"},
        {25, "An internal error "},
        {26, " has occured in module WARDLINE.BAS, proceure pfErr(), line "},
        {30, "Procedure"},
        {32, "Wardline(tm) : Program START"},
        {35, "Line Number "},
        {36, "Error No. "},
        {37, "Description "},
        {38, "Category "},
        {39, " bytes"},
        {42, "&Continue"},
        {48, "Procedure is unbalanced or contains calls to unbalanced routines. "},
        {49, "'wlPOP()' was called without 'wlPUSH()'. "},
        {50, "Choose OK break to VB."},
        {51, "Choose CANCEL to continue with program."},
        {53, "WLVB100"},
        {58, "trappable errors"},
        {61, "Source "},
    };
    for (const auto& c : cases) EXPECT_EQ(pfText(c.number), c.text) << c.number;
    EXPECT_EQ(pfText(19).size(), 10u);
    EXPECT_EQ(pfText(49).size(), 41u);
}

class BuiltTexts : public ::testing::Test {
protected:
    testsupport::FakeClock clock{2024, 3, 7, 9, 5, 3};
    testsupport::ScopedRuntime testRuntime;
    void SetUp() override { testRuntime->platform().clock = &clock; }
};

TEST_F(BuiltTexts, StartAndStopBannersCarryTheDateAndTimeOfTheCall) {
    EXPECT_EQ(pfText(TextId::kStartBanner),
              "03-07-2024 09:05:03 - start Wardline client v5.00.04 (for Visual Basic 5.0) data capture");
    EXPECT_EQ(pfText(TextId::kStopBanner),
              "03-07-2024 09:05:03 - stop Wardline client v5.00.04 (for Visual Basic 5.0) data capture");

    const std::string first = pfText(TextId::kStartBanner);
    clock.set(9, 5, 4);  // a second later
    const std::string second = pfText(TextId::kStartBanner);
    ASSERT_EQ(first.size(), second.size());
    EXPECT_NE(first, second);
    EXPECT_EQ(first.substr(0, 17), second.substr(0, 17));  // "03-07-2024 09:05:" then the seconds
    EXPECT_EQ(first.substr(19), second.substr(19));
}

TEST(RuntimeTexts, IdentityLineNamesFolderExecutableAndVersion) {
    testsupport::ScopedRuntime testRuntime;
    testRuntime->platform().app = platform::AppObject("/opt/tools", "Morrowset");
    const std::string portable = pfText(TextId::kProgramIdentity);
    // An installed program's files are in the user's folder, and the line names that folder.
    testRuntime->platform().app =
        platform::AppObject("/usr/lib/morrowset", "Morrowset", "/home/ann/.config/Morrowset");
    const std::string installed = pfText(TextId::kProgramIdentity);
    EXPECT_EQ(portable, "/opt/tools/Morrowset ver 1.0.0");
    EXPECT_EQ(installed, "/home/ann/.config/Morrowset/Morrowset ver 1.0.0");
}

// Every boundary of every range of the category rules, and the numbers around them:
// {error number, category code}.
const struct {
    int32_t number;
    int16_t code;
} kCategoryCases[] = {
    {-2147483647 - 1, 62}, {-2147221499, 62}, {-1, 62}, {0, 15}, {1, 15}, {2, 15}, {3, 2}, {46, 2}, {47, 3},
    {49, 3}, {50, 2}, {51, 2}, {52, 3}, {69, 3}, {70, 60}, {71, 3}, {76, 3}, {77, 15}, {90, 15}, {91, 4},
    {95, 4}, {96, 15}, {259, 15}, {260, 6}, {261, 15}, {279, 15}, {280, 5}, {298, 5}, {299, 15}, {319, 15},
    {320, 6}, {394, 6}, {395, 15}, {399, 15}, {400, 7}, {404, 7}, {405, 15}, {419, 15}, {420, 8}, {425, 8},
    {426, 7}, {427, 15}, {428, 15}, {429, 13}, {430, 13}, {431, 15}, {432, 13}, {433, 15}, {437, 15},
    {438, 13}, {439, 15}, {440, 13}, {441, 15}, {442, 13}, {443, 13}, {444, 15}, {445, 13}, {451, 13},
    {452, 3}, {453, 3}, {454, 2}, {455, 2}, {456, 15}, {457, 46}, {458, 13}, {459, 15}, {460, 9}, {461, 9},
    {462, 15}, {479, 15}, {480, 10}, {481, 10}, {482, 11}, {484, 11}, {485, 10}, {486, 15}, {519, 15},
    {520, 9}, {521, 9}, {522, 15}, {599, 15}, {600, 46}, {646, 46}, {647, 15}, {707, 15}, {708, 3}, {709, 12},
    {711, 12}, {712, 3}, {713, 3}, {714, 12}, {715, 12}, {716, 3}, {717, 12}, {718, 12}, {719, 3}, {720, 12},
    {721, 12}, {722, 3}, {723, 12}, {724, 12}, {725, 3}, {726, 12}, {729, 12}, {730, 3}, {731, 3}, {732, 12},
    {785, 12}, {786, 15}, {2419, 15}, {2420, 54}, {2448, 54}, {2449, 15}, {2999, 15}, {3000, 54}, {3005, 54},
    {3006, 59}, {3007, 54}, {3008, 59}, {3009, 59}, {3010, 54}, {3044, 54}, {3045, 59}, {3046, 59},
    {3047, 54}, {3049, 54}, {3050, 59}, {3052, 59}, {3053, 54}, {3185, 54}, {3186, 59}, {3189, 59},
    {3190, 54}, {3195, 54}, {3196, 59}, {3197, 59}, {3198, 54}, {3210, 54}, {3211, 59}, {3212, 59},
    {3213, 54}, {3217, 54}, {3218, 59}, {3219, 54}, {3224, 54}, {3225, 59}, {3226, 54}, {3259, 54},
    {3260, 59}, {3261, 59}, {3262, 54}, {3451, 54}, {3452, 63}, {3453, 63}, {3454, 54}, {3455, 63},
    {3461, 63}, {3462, 54}, {3463, 63}, {3464, 15}, {3465, 63}, {3466, 15}, {3471, 15}, {3472, 63},
    {3473, 15}, {3484, 15}, {3485, 63}, {3492, 63}, {3493, 15}, {3498, 15}, {3499, 63}, {3500, 15},
    {3509, 15}, {3510, 63}, {3511, 15}, {3514, 15}, {3515, 63}, {3516, 15}, {3519, 15}, {3520, 63},
    {3521, 15}, {3531, 15}, {3532, 63}, {3533, 63}, {3534, 15}, {3544, 15}, {3545, 63}, {3546, 63},
    {3547, 15}, {3548, 63}, {3550, 63}, {3551, 15}, {3552, 63}, {3553, 63}, {3554, 15}, {3558, 15},
    {3559, 63}, {3561, 63}, {3562, 15}, {3565, 15}, {3566, 63}, {3567, 15}, {3568, 15}, {3569, 63},
    {3570, 15}, {3571, 15}, {3572, 63}, {3573, 15}, {3574, 63}, {3577, 63}, {3578, 15}, {3583, 15},
    {3584, 63}, {3585, 15}, {3591, 15}, {3592, 63}, {3595, 63}, {3596, 15}, {3604, 15}, {3605, 63},
    {3606, 15}, {3607, 63}, {3608, 54}, {3622, 54}, {3623, 15}, {3625, 15}, {3626, 63}, {3627, 15},
    {20475, 15}, {20476, 47}, {20478, 47}, {20479, 15}, {24573, 15}, {24574, 47}, {24575, 15}, {28659, 15},
    {28660, 47}, {28671, 47}, {28672, 15}, {29999, 15}, {30000, 45}, {30019, 45}, {30020, 15}, {31002, 15},
    {31003, 57}, {31004, 57}, {31005, 15}, {31006, 57}, {31009, 57}, {31010, 15}, {31016, 15}, {31017, 57},
    {31019, 57}, {31020, 15}, {31021, 57}, {31024, 57}, {31025, 15}, {31026, 57}, {31029, 57}, {31030, 15},
    {31031, 57}, {31039, 57}, {31040, 15}, {31998, 15}, {31999, 14}, {32000, 14}, {32001, 45}, {32015, 45},
    {32016, 14}, {32750, 14}, {32751, 47}, {32766, 47}, {32767, 14}, {32768, 15}, {35599, 15}, {35600, 64},
    {35618, 64}, {35619, 15}, {39999, 15}, {40000, 65}, {40059, 65}, {40060, 15}, {40499, 15}, {40500, 66},
    {40516, 66}, {40517, 15}, {2147483647, 15},
};

TEST(ErrorCategories, EveryRangeBoundaryFallsInTheFirstRuleThatHoldsIt) {
    for (const auto& c : kCategoryCases) EXPECT_EQ(ErrorClassCode(c.number), c.code) << "error " << c.number;
}

TEST(ErrorCategories, OverlappingRangesGoToTheEarlierRule) {
    EXPECT_EQ(ErrorClassName(ErrorClassCode(70)), "Network ");
    EXPECT_EQ(ErrorClassName(ErrorClassCode(71)), "File System (disk, directory or file) access");
    EXPECT_EQ(ErrorClassName(ErrorClassCode(708)), "File System (disk, directory or file) access");
    EXPECT_EQ(ErrorClassName(ErrorClassCode(709)), "Design-time");
    EXPECT_EQ(ErrorClassName(ErrorClassCode(3452)), "Replication");
    EXPECT_EQ(ErrorClassName(ErrorClassCode(3454)), "Data Access");
    EXPECT_EQ(ErrorClassName(ErrorClassCode(3006)), "ODBC Network");
    EXPECT_EQ(ErrorClassName(ErrorClassCode(32751)), "Common Dialog");
    EXPECT_EQ(ErrorClassName(ErrorClassCode(32767)), "Custom Control or user defined");
    EXPECT_EQ(ErrorClassName(ErrorClassCode(32768)), "User defined ");
    EXPECT_EQ(ErrorClassName(ErrorClassCode(336)), "Form, control, property or object value");
    EXPECT_EQ(ErrorClassName(ErrorClassCode(440)), "Object Linking and Embedding");
    EXPECT_EQ(ErrorClassName(ErrorClassCode(-2147221504 + 5)), "Remote OLE Automation");
    EXPECT_EQ(ErrorClassName(ErrorClassCode(0)) + pfText(TextId::kErrorSuffix), "User defined  error");
}

TEST(ErrorCategories, EveryCodeHasItsTextAndOtherCodesAreUnknown) {
    const struct {
        int16_t code;
        const char* text;
    } cases[] = {
        {2, "General run-time"},
        {3, "File System (disk, directory or file) access"},
        {4, "Non-initialzed object or variant"},
        {5, "Dynamic Data Exchange protocol"},
        {6, "Form, control, property or object value"},
        {7, "Form or MDI child form"},
        {8, "Object reference"},
        {9, "Clipboard access or format"},
        {10, "Picturebox or image control"},
        {11, "Printer access"},
        {12, "Design-time"},
        {13, "Object Linking and Embedding"},
        {14, "Custom Control or user defined"},
        {15, "User defined "},
        {45, "Grid control"},
        {46, "ODBC"},
        {47, "Common Dialog"},
        {54, "Data Access"},
        {57, "OLE Container Control"},
        {59, "ODBC Network"},
        {60, "Network "},
        {62, "Remote OLE Automation"},
        {63, "Replication"},
        {64, "Windows 95 Custom Control"},
        {65, "Remote Data Object (RDO)"},
        {66, "Remote Data Control (RDC)"},
    };
    for (const auto& c : cases) EXPECT_EQ(ErrorClassName(c.code), c.text) << c.code;
    for (int16_t code : {-32768, -1, 0, 1, 16, 44, 48, 53, 55, 56, 58, 61, 67, 32767})
        EXPECT_EQ(ErrorClassName(code), "Unknown Error Class") << code;
}

}  // namespace
