#include "errortrap/core/error_categories.h"

#include <array>
#include <string_view>

namespace wardline {
namespace {

// One row per range: first and last number (inclusive) and the category code. Rows are
// tested in order and the first that holds the number wins, because the ranges overlap
// (70 is "Network " before the file-system range, 708 file system before design-time,
// 3452 replication before data access, 32751 common dialog before custom control).
struct CategoryRange {
    int32_t first;
    int32_t last;
    int16_t code;
};

// clang-format off
constexpr CategoryRange kCategoryRanges[] = {
    {35600, 35618, 64},
    {40000, 40059, 65},
    {40500, 40516, 66},
    {3452, 3453, 63}, {3455, 3461, 63}, {3463, 3463, 63}, {3465, 3465, 63}, {3472, 3472, 63},
    {3485, 3492, 63}, {3499, 3499, 63}, {3510, 3510, 63}, {3515, 3515, 63}, {3520, 3520, 63},
    {3532, 3533, 63}, {3545, 3546, 63}, {3548, 3550, 63}, {3552, 3553, 63}, {3559, 3561, 63},
    {3566, 3566, 63}, {3569, 3569, 63}, {3572, 3572, 63}, {3574, 3577, 63}, {3584, 3584, 63},
    {3592, 3595, 63}, {3605, 3605, 63}, {3607, 3607, 63}, {3626, 3626, 63},
    {3, 46, 2}, {50, 51, 2}, {454, 455, 2},
    {3006, 3006, 59}, {3008, 3009, 59}, {3045, 3046, 59}, {3050, 3052, 59}, {3186, 3189, 59},
    {3196, 3197, 59}, {3211, 3212, 59}, {3218, 3218, 59}, {3225, 3225, 59}, {3260, 3261, 59},
    {70, 70, 60},
    {47, 49, 3}, {52, 76, 3}, {452, 453, 3}, {708, 708, 3}, {712, 713, 3}, {716, 716, 3}, {719, 719, 3},
    {722, 722, 3}, {725, 725, 3}, {730, 731, 3},
    {91, 95, 4},
    {280, 298, 5},
    {260, 260, 6}, {320, 394, 6},
    {400, 404, 7}, {426, 426, 7},
    {420, 425, 8},
    {429, 430, 13}, {432, 432, 13}, {438, 438, 13}, {440, 440, 13}, {442, 443, 13}, {445, 451, 13},
    {458, 458, 13},
    {460, 461, 9}, {520, 521, 9},
    {480, 481, 10}, {485, 485, 10},
    {482, 484, 11},
    {457, 457, 46}, {600, 646, 46},
    {2420, 2448, 54}, {3000, 3463, 54}, {3608, 3622, 54},
    {708, 785, 12},
    {30000, 30019, 45}, {32001, 32015, 45},
    {31003, 31004, 57}, {31006, 31009, 57}, {31017, 31019, 57}, {31021, 31024, 57}, {31026, 31029, 57},
    {31031, 31039, 57},
    {20476, 20478, 47}, {24574, 24574, 47}, {28660, 28671, 47}, {32751, 32766, 47},
    {31999, 32767, 14},
};
// clang-format on

constexpr int16_t kRemoteAutomation = 62;  // any other negative number
constexpr int16_t kUserDefined = 15;       // any other number from 0 up

struct CategoryName {
    int16_t code;
    std::string_view text;
};

constexpr auto kCategoryNames = std::to_array<CategoryName>({
    {64, "Windows 95 Custom Control"},
    {65, "Remote Data Object (RDO)"},
    {66, "Remote Data Control (RDC)"},
    {63, "Replication"},
    {2, "General run-time"},
    {59, "ODBC Network"},
    {60, "Network "},
    {3, "File System (disk, directory or file) access"},
    {4, "Non-initialzed object or variant"},
    {5, "Dynamic Data Exchange protocol"},
    {6, "Form, control, property or object value"},
    {7, "Form or MDI child form"},
    {8, "Object reference"},
    {13, "Object Linking and Embedding"},
    {9, "Clipboard access or format"},
    {10, "Picturebox or image control"},
    {11, "Printer access"},
    {46, "ODBC"},
    {54, "Data Access"},
    {12, "Design-time"},
    {45, "Grid control"},
    {57, "OLE Container Control"},
    {47, "Common Dialog"},
    {14, "Custom Control or user defined"},
    {62, "Remote OLE Automation"},
    {15, "User defined "},
});

}  // namespace

int16_t ErrorClassCode(int32_t number) {
    for (const CategoryRange& range : kCategoryRanges)
        if (number >= range.first && number <= range.last) return range.code;
    return number < 0 ? kRemoteAutomation : kUserDefined;
}

std::string ErrorClassName(int16_t code) {
    for (const CategoryName& entry : kCategoryNames)
        if (entry.code == code) return std::string(entry.text);
    return "Unknown Error Class";
}

}  // namespace wardline
