#pragma once
// Morrowset's own viewer of a run's output: read-only, in a monospace font, with search
// (Ctrl+F, F3 and Shift+F3), "Open With…" (the desktop's viewer) and "Show in Folder".
// Of a large output it shows the last part and says how much before it is left out. When
// the file is gone, or the desktop cannot open it, the viewer says so. Escape closes it.
// showOutputViewer keeps one viewer at most open, modeless and without an owner.
#include <QDBusConnection>
#include <QDialog>
#include <QString>
#include <cstdint>

#include "timetable/run_output.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace morrowset {

class OutputViewer : public QDialog {
    Q_OBJECT

public:
    // An output cut when its run ended (its last runs::kMaxBytes after the line saying so)
    // is shown whole; a larger one, still growing, from a line start near its end.
    static constexpr int64_t kShownBytes = runs::kMaxBytes + 4096;

    // `bus` is where the desktop's file manager is asked to show a file.
    explicit OutputViewer(QDBusConnection bus = QDBusConnection::sessionBus(), QWidget* parent = nullptr);

    // The viewer that is open, or nullptr.
    static OutputViewer* current();

    // Shows the output file `path` (read now, as it is), under `heading`.
    void showFile(const QString& path, const QString& heading);
    const QString& path() const { return path_; }

    // Selects the next (previous) place of the find box's text, going round the ends; false
    // when the text is nowhere.
    bool findNext();
    bool findPrevious();
    void openWith();
    void showInFolder();

    QLabel* lblHeading = nullptr;
    QLabel* lblNote = nullptr;  // what is left out, a file gone, a desktop that could not open it
    QPlainTextEdit* txtOutput = nullptr;
    QLabel* lblFind = nullptr;
    QLineEdit* txtFind = nullptr;
    QLabel* lblFound = nullptr;
    QPushButton* cmdPrevious = nullptr;
    QPushButton* cmdNext = nullptr;
    QPushButton* cmdOpenWith = nullptr;
    QPushButton* cmdShowInFolder = nullptr;
    QPushButton* cmdClose = nullptr;

private:
    void createControls();
    void createShortcuts();
    void setNote(const QString& note, bool trouble);
    bool find(bool backwards);

    QDBusConnection bus_;
    QString path_;
};

// Opens the one output viewer on `path` (loading it first when it is not open) and brings
// it to the front. The History window and a row's result icon use it.
OutputViewer* showOutputViewer(const QString& path, const QString& heading);

}  // namespace morrowset
