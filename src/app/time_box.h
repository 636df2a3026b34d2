#pragma once
// The masked time box: four digit places around a fixed colon, "#" in every place not yet
// typed. The program reads and writes its full five-character text ("12:3#", "##:##").
// What the box may hold is the timetable's rule (timetable.h).
#include <QLineEdit>
#include <string>
#include <string_view>

namespace morrowset {

class TimeBox : public QLineEdit {
public:
    explicit TimeBox(QWidget* parent = nullptr);

    std::string timeText() const;
    // Raises 380 Invalid property value when `text` does not fit the box.
    void setTimeText(std::string_view text);
};

}  // namespace morrowset
