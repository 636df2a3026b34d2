#include "errortrap/dialog/system_report.h"

#include <QPlainTextEdit>
#include <QTextCursor>

namespace wardline {

SystemSources realSystemSources() { return {}; }

std::vector<std::string> systemReportLines(const SystemSources&) { return {}; }

std::string PadLabel(const std::string& label) {
    constexpr std::size_t kWidth = 25;
    constexpr std::size_t kLongestLabel = 22;
    std::string padded = "   " + label.substr(0, kLongestLabel);
    padded.resize(kWidth, '.');
    return padded;
}

std::string FileVersionText(const std::string&) { return {}; }

void AddReportLine(QPlainTextEdit* kxCtrlArgs, const std::string& line) {
    QTextCursor cursor(kxCtrlArgs->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QString::fromStdString(line) + QLatin1Char('\n'));
}

void BuildSystemReport(QPlainTextEdit* kxCtrlArgs, bool& reportBuilt) {
    reportBuilt = true;
    kxCtrlArgs->clear();
    for (const std::string& line : systemReportLines(realSystemSources())) AddReportLine(kxCtrlArgs, line);
}

}  // namespace wardline
