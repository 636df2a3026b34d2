#include "app/command_box.h"

#include <QValidator>

#include "timetable/timetable.h"

namespace morrowset {
namespace {

bool isLineBreak(QChar c) { return c == QLatin1Char('\r') || c == QLatin1Char('\n'); }

// Turns line breaks into blanks in whatever reaches the box: typing, pasting, setText.
class NoLineBreaks : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        for (QChar& c : input)
            if (isLineBreak(c)) c = QLatin1Char(' ');
        return Acceptable;
    }
};

}  // namespace

CommandBox::CommandBox(QWidget* parent) : QLineEdit(parent) {
    setMaxLength(kMaxLength);
    setValidator(new NoLineBreaks(this));
}

void CommandBox::setCommandLine(std::string_view bytes) {
    std::string line = Timetable::withoutLineBreaks(bytes);
    setText(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
    bytes_ = std::move(line);
    shown_ = text();
}

std::string CommandBox::commandLine() const {
    if (!bytes_.empty() && text() == shown_) return bytes_;
    return text().toStdString();
}

}  // namespace morrowset
