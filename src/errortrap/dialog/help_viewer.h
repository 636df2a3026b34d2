#pragma once
// The help viewer: a modeless window that shows one topic of a help file (the format is
// described in platform/help_file.h). It stands in for the platform's help engine: the
// error dialog opens it by help file and context number. A missing help file or topic
// shows a "No help available" page, never an error.
#include <QWidget>
#include <cstdint>
#include <string>

class QLabel;
class QPlainTextEdit;

namespace platform {

class HelpViewer : public QWidget {
    Q_OBJECT

public:
    HelpViewer();
    void showTopic(const std::string& helpFile, int32_t context);

    // What was asked for last.
    const std::string& helpFile() const { return helpFile_; }
    int32_t context() const { return context_; }
    // What the window shows.
    QString titleText() const;
    QString bodyText() const;

private:
    std::string helpFile_;
    int32_t context_ = 0;
    QLabel* title_;
    QPlainTextEdit* body_;
};

// Shows topic `context` of `helpFile` in the help viewer (one window, reused), in front of
// `owner`; without an owner, in front of the modal dialog that is open, if any.
void showHelpTopic(QWidget* owner, const std::string& helpFile, int32_t context);
// The help viewer window, or nullptr when none has been opened (or it was closed).
HelpViewer* helpViewer();

}  // namespace platform
