#include "app/command_box.h"

#include <QValidator>

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

std::string CommandBox::withoutLineBreaks(std::string_view text) {
    std::string line(text);
    for (char& c : line)
        if (c == '\r' || c == '\n') c = ' ';
    return line;
}

void CommandBox::setCommandLine(std::string_view bytes) {
    std::string line = withoutLineBreaks(bytes);
    setText(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
    bytes_ = std::move(line);
    shown_ = text();
}

std::string CommandBox::commandLine() const {
    if (!bytes_.empty() && text() == shown_) return bytes_;
    return text().toStdString();
}

}  // namespace morrowset
