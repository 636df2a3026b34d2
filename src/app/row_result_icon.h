#pragma once
// A row's last result as a small icon at the trailing end of its command box: running,
// ended well, failed, or end not seen. Its tooltip, made when it is shown, says when the
// last run started, what started it, how long it ran, how it ended and when the row starts
// next. Clicking it opens the run's output file in the output viewer (output_viewer.h).
#include <QIcon>
#include <QObject>
#include <functional>
#include <optional>
#include <string>

#include "timetable/run_record.h"

class QAction;
class QLineEdit;

namespace morrowset {

class RowResultIcon : public QObject {
public:
    // `nextStart` gives the row's next start in words whenever the tooltip is shown.
    RowResultIcon(QLineEdit* box, std::function<std::string()> nextStart);

    // Shows `run` (from the application folder `appFolder`), or nothing when none.
    void show(const std::optional<RunRecord>& run, const std::string& appFolder);

    QAction* action() const { return action_; }
    bool isShown() const;
    // The tooltip as it would be shown now; empty without a run.
    QString toolTipText() const;
    // The icon for a run that stands or ended so (the History window shows it too).
    static QIcon iconFor(RunRecord::Result result);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The output file a click opens; empty when the run has none.
    QString outputPath() const;
    void open() const;

    QLineEdit* box_;
    QAction* action_;
    std::function<std::string()> nextStart_;
    std::optional<RunRecord> run_;
    std::string appFolder_;
    bool filtering_ = false;
};

}  // namespace morrowset
