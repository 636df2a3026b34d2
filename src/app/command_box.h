#pragma once
// A row's command-line box. A command line is one line of bytes, as Linux takes it:
//  - it never holds a line break: pasted or typed CR and LF become blanks, so the settings
//    file keeps one line per command line;
//  - it is kept whole up to kMaxLength characters (a plain line edit stops at 32,767);
//  - bytes that are not valid UTF-8 (file names in another encoding) are shown with
//    replacement characters, but the command line stays byte for byte what was loaded,
//    for saving and starting, until the user edits it.
#include <QLineEdit>
#include <string>
#include <string_view>

namespace morrowset {

class CommandBox : public QLineEdit {
public:
    static constexpr int kMaxLength = 64 * 1024;

    explicit CommandBox(QWidget* parent = nullptr);

    // The command line as bytes.
    std::string commandLine() const;
    // Shows `bytes` (line breaks as blanks) and keeps them as the command line.
    void setCommandLine(std::string_view bytes);

private:
    std::string bytes_;  // the command line last set, while the box still shows it
    QString shown_;      // what the box showed for it
};

}  // namespace morrowset
