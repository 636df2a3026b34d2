#pragma once
// The History window, "Morrowset History": every run in the run history, newest first,
// with a row filter. It follows the history file as runs start and end (a file-system
// watch on the history and its folder; refresh() takes them in at once). Enter or a double
// click opens the run's output in the output viewer; Escape closes the window.
// showHistoryWindow keeps one window at most open, modeless and without an owner.
#include <QDialog>
#include <string>

#include "timetable/history_list.h"

class QComboBox;
class QFileSystemWatcher;
class QLabel;
class QPushButton;
class QTableView;
class QTimer;

namespace morrowset {

class HistoryModel;

class HistoryWindow : public QDialog {
    Q_OBJECT

public:
    // The history of the application folder `appFolder`; `running` tells which runs
    // started before the window opened are still running.
    explicit HistoryWindow(const std::string& appFolder, HistoryList::RunningCheck running = {},
                           QWidget* parent = nullptr);

    // The window that is open, or nullptr.
    static HistoryWindow* current();

    HistoryModel& model() { return *model_; }
    // Takes in the runs started and ended since the last look.
    void refresh();
    // Opens the selected run's output in the output viewer, or says why it has none.
    void openSelected();

    QLabel* lblShow = nullptr;
    QComboBox* cboRow = nullptr;  // "All rows", "Row 1" ... "Row 6"
    QTableView* grdRuns = nullptr;
    QLabel* lblStatus = nullptr;
    QPushButton* cmdOpen = nullptr;
    QPushButton* cmdClose = nullptr;

private:
    void createControls();
    void sizeFromFont();
    void watchHistory();

    std::string appFolder_;
    HistoryModel* model_;
    QFileSystemWatcher* watcher_ = nullptr;
    QTimer* refreshSoon_ = nullptr;
};

// Shows the History window, loading it first when it is not open ("History…" of the
// Options menu and of the tray).
HistoryWindow* showHistoryWindow(const std::string& appFolder, HistoryList::RunningCheck running = {});

}  // namespace morrowset
