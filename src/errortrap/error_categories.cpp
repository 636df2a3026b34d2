#include <array>
#include <initializer_list>
#include <string_view>

#include "errortrap/wardline.h"

namespace wardline {
namespace {

struct Range {
    int32_t first;
    int32_t last;
};

struct CategoryRule {
    int16_t code;
    std::initializer_list<Range> ranges;
};

// Tested in order; the first rule that holds the number wins (the ranges overlap).
const CategoryRule kCategoryRules[] = {
    {64, {{35600, 35618}}},
    {65, {{40000, 40059}}},
    {66, {{40500, 40516}}},
    {63, {{3452, 3453}, {3455, 3461}, {3463, 3463}, {3465, 3465}, {3472, 3472}, {3485, 3492}, {3499, 3499},
          {3510, 3510}, {3515, 3515}, {3520, 3520}, {3532, 3533}, {3545, 3546}, {3548, 3550}, {3552, 3553},
          {3559, 3561}, {3566, 3566}, {3569, 3569}, {3572, 3572}, {3574, 3577}, {3584, 3584}, {3592, 3595},
          {3605, 3605}, {3607, 3607}, {3626, 3626}}},
    {2, {{3, 46}, {50, 51}, {454, 455}}},
    {59, {{3006, 3006}, {3008, 3009}, {3045, 3046}, {3050, 3052}, {3186, 3189}, {3196, 3197}, {3211, 3212},
          {3218, 3218}, {3225, 3225}, {3260, 3261}}},
    {60, {{70, 70}}},
    {3, {{47, 49}, {52, 76}, {452, 453}, {708, 708}, {712, 713}, {716, 716}, {719, 719}, {722, 722},
         {725, 725}, {730, 731}}},
    {4, {{91, 95}}},
    {5, {{280, 298}}},
    {6, {{260, 260}, {320, 394}}},
    {7, {{400, 404}, {426, 426}}},
    {8, {{420, 425}}},
    {13, {{429, 430}, {432, 432}, {438, 438}, {440, 440}, {442, 443}, {445, 451}, {458, 458}}},
    {9, {{460, 461}, {520, 521}}},
    {10, {{480, 481}, {485, 485}}},
    {11, {{482, 484}}},
    {46, {{457, 457}, {600, 646}}},
    {54, {{2420, 2448}, {3000, 3463}, {3608, 3622}}},
    {12, {{708, 785}}},
    {45, {{30000, 30019}, {32001, 32015}}},
    {57, {{31003, 31004}, {31006, 31009}, {31017, 31019}, {31021, 31024}, {31026, 31029}, {31031, 31039}}},
    {47, {{20476, 20478}, {24574, 24574}, {28660, 28671}, {32751, 32766}}},
    {14, {{31999, 32767}}},
};

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
    for (const CategoryRule& rule : kCategoryRules)
        for (const Range& range : rule.ranges)
            if (number >= range.first && number <= range.last) return rule.code;
    return number < 0 ? kRemoteAutomation : kUserDefined;
}

std::string ErrorClassName(int16_t code) {
    for (const CategoryName& entry : kCategoryNames)
        if (entry.code == code) return std::string(entry.text);
    return "Unknown Error Class";
}

}  // namespace wardline
