#pragma once
// The masked time box: four digit places around a fixed colon, "#" in every place not yet
// typed. The program reads and writes its full five-character text ("12:3#", "##:##").
#include <QLineEdit>
#include <string>
#include <string_view>

namespace morrowset {

class TimeBox : public QLineEdit {
public:
    // The text of a box without a time.
    static constexpr std::string_view kEmpty = "##:##";

    explicit TimeBox(QWidget* parent = nullptr);

    std::string timeText() const;
    // Raises 380 Invalid property value when `text` does not fit the mask.
    void setTimeText(std::string_view text);

    // True for five characters: two digits or prompts, a colon, two digits or prompts.
    static bool fitsMask(std::string_view text);
    // True for a time that comes once a day: "00:00" to "23:59", and "24:00", the midnight
    // at the end of the day.
    static bool isTimeOfDay(std::string_view text);
};

}  // namespace morrowset
