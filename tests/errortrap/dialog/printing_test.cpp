// The Print button: the chosen view printed as plain lines, read back from a PDF job.
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPrinterInfo>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <filesystem>

#include "errortrap/dialog/report_printer.h"
#include "support/dialog_test_support.h"

namespace wardline::testing {
namespace {

// The printed text, one entry per line, trailing blanks removed; "\f" marks a new page.
std::vector<std::string> printedText(const std::string& pdf) {
    QProcess pdftotext;
    pdftotext.start("pdftotext", {"-layout", QString::fromStdString(pdf), "-"});
    pdftotext.waitForFinished();
    std::vector<std::string> lines;
    for (QString line : QString::fromUtf8(pdftotext.readAllStandardOutput()).split('\n')) {
        while (line.endsWith(' ')) line.chop(1);
        if (line.startsWith('\f')) {
            lines.push_back("\f");
            line.remove(0, 1);
        }
        lines.push_back(line.toStdString());
    }
    while (!lines.empty() && (lines.back().empty() || lines.back() == "\f")) lines.pop_back();
    return lines;
}

std::vector<std::string> withoutPageBreaks(std::vector<std::string> lines) {
    std::erase(lines, "\f");
    std::erase(lines, "");
    return lines;
}

std::vector<std::string> withSingleBlanks(std::vector<std::string> lines) {
    for (std::string& line : lines) line = QString::fromStdString(line).simplified().toStdString();
    return lines;
}

class PrintingTest : public DialogTest {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable("pdftotext").isEmpty())
            GTEST_SKIP() << "pdftotext is not installed";
        DialogTest::SetUp();
    }
    std::string pdf(int view) const { return scratch / ("view" + std::to_string(view) + ".pdf"); }

    TempFolder scratch;
};

TEST_F(PrintingTest, EachViewPrintsWhatItShows) {
    enterDevelopmentEnvironment();
    recordLocalError();
    whenDialogShown([this](frmWARDLINE& form) {
        for (int view = 0; view < 4; ++view) {
            form.controls().Combo1->setCurrentIndex(view);
            if (view == 3) {
                QString report;
                for (int i = 1; i <= 150; ++i)
                    report += QStringLiteral("report line %1\n").arg(i, 3, 10, QChar('0'));
                report += QString(200, 'x');
                form.controls().kxCtrlArgs->setPlainText(report);
            }
            testRuntime->platform().printToPdfFile = pdf(view);
            form.controls().wlPrint->click();
        }
    });
    showDialogForRecord();

    EXPECT_EQ(printedText(pdf(0)), std::vector<std::string>{"Type in what you where doing here."});
    EXPECT_EQ(printedText(pdf(1)), (std::vector<std::string>{
                                       "Category      Type conversion error",
                                       "Source        Morrowset (local)",
                                       "Module         frmMain.frm",
                                       "Procedure      Sub cmdGo_Click",
                                       "Line Number    20",
                                       "Error No.      13",
                                       "Description   Error 1 - Type mismatch",
                                   }));
    // Tabs print as blanks to the next tab stop (the PDF reader narrows wide gaps).
    EXPECT_EQ(withSingleBlanks(printedText(pdf(2))),
              (std::vector<std::string>{
                  "1 : Call frmMain.frm : Sub tmrMain_Timer :",
                  "2 : Call frmMain.frm : Sub cmdGo_Click : 3",
                  "3 : Trap Runtime error 13, Type mismatch on line 20",
              }));
    // A long report goes on over further pages; a line wider than the page over more lines.
    const auto report = printedText(pdf(3));
    EXPECT_GE(std::count(report.begin(), report.end(), "\f"), 1);
    const auto lines = withoutPageBreaks(report);
    ASSERT_GE(lines.size(), 152u);
    EXPECT_EQ(lines[0], "report line 001");
    EXPECT_EQ(lines[149], "report line 150");
    std::string wide;
    for (std::size_t i = 150; i < lines.size(); ++i) wide += lines[i];
    EXPECT_EQ(wide, std::string(200, 'x'));
}

TEST_F(PrintingTest, WithNoViewChosenAnEmptyJobIsPrinted) {
    const frmWARDLINE form;
    testRuntime->platform().printToPdfFile = pdf(9);
    form.controls().wlPrint->click();
    EXPECT_TRUE(std::filesystem::exists(pdf(9)));
    EXPECT_TRUE(printedText(pdf(9)).empty());
}

TEST_F(PrintingTest, WithoutAPrinterNothingIsPrintedAndNothingIsSaid) {
    if (!QPrinterInfo::defaultPrinter().isNull()) GTEST_SKIP() << "this machine has a printer";
    EXPECT_FALSE(printLines({"a line"}));
    const frmWARDLINE form;
    form.controls().wlPrint->click();
    EXPECT_TRUE(ui.messages.empty());
}

TEST(PrintZones, AValueStartsAtTheNextZone) {
    const struct {
        std::string caption;
        std::size_t valueColumn;
    } cases[] = {{"", 14}, {"Category ", 14}, {"Thirteen char", 14}, {"Fourteen chars", 28}};
    for (const auto& c : cases) {
        std::string line = c.caption;
        appendInNextZone(line, "value");
        EXPECT_EQ(line.find("value"), c.valueColumn) << c.caption;
    }
}

}  // namespace
}  // namespace wardline::testing
