#include "errortrap/dialog/report_printer.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

#include "platform/services.h"

namespace wardline {
namespace {

constexpr std::size_t kZoneWidth = 14;
constexpr std::size_t kTabWidth = 8;
constexpr int kPrinterFontPoints = 10;

// Tabs become blanks up to the next tab stop, so that indents print as they show.
QString expandTabs(const std::string& line) {
    QString text;
    for (const QChar c : QString::fromStdString(line)) {
        if (c == QLatin1Char('\t')) {
            text += QString(static_cast<int>(kTabWidth - text.size() % kTabWidth), QLatin1Char(' '));
        } else {
            text += c;
        }
    }
    return text;
}

// The line cut into pieces of at most `columns` characters (at least one piece).
QStringList pieces(const QString& line, int columns) {
    QStringList parts;
    for (int start = 0; start < line.size(); start += columns) parts << line.mid(start, columns);
    if (parts.isEmpty()) parts << QString();
    return parts;
}

class LinePrinter {
public:
    explicit LinePrinter(QPrinter& printer) : printer_(printer) {}

    bool begin() {
        if (!painter_.begin(&printer_)) return false;
        QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setStyleHint(QFont::Monospace);
        font.setPointSize(kPrinterFontPoints);
        painter_.setFont(font);
        const QFontMetrics metrics(painter_.font(), painter_.device());
        lineHeight_ = metrics.lineSpacing();
        ascent_ = metrics.ascent();
        const int charWidth = std::max(1, metrics.horizontalAdvance(QLatin1Char('M')));
        columns_ = std::max(1, painter_.viewport().width() / charWidth);
        pageHeight_ = painter_.viewport().height();
        return true;
    }

    void print(const std::string& line) {
        for (const QString& piece : pieces(expandTabs(line), columns_)) {
            if (y_ + lineHeight_ > pageHeight_ && y_ > 0) {
                printer_.newPage();
                y_ = 0;
            }
            painter_.drawText(0, y_ + ascent_, piece);
            y_ += lineHeight_;
        }
    }

    void end() { painter_.end(); }

private:
    QPrinter& printer_;
    QPainter painter_;
    int lineHeight_ = 1;
    int ascent_ = 0;
    int columns_ = 1;
    int pageHeight_ = 1;
    int y_ = 0;
};

}  // namespace

void appendInNextZone(std::string& line, const std::string& item) {
    line.resize((line.size() / kZoneWidth + 1) * kZoneWidth, ' ');
    line += item;
}

bool printLines(const std::vector<std::string>& lines) {
    QPrinter printer(QPrinter::HighResolution);
    const std::string& pdfFile = platform::services().printToPdfFile;
    if (!pdfFile.empty()) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(pdfFile));
    } else if (QPrinterInfo::defaultPrinter().isNull()) {
        return false;
    }
    LinePrinter job(printer);
    if (!job.begin()) return false;
    for (const std::string& line : lines) job.print(line);
    job.end();
    return true;
}

}  // namespace wardline
