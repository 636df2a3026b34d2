#include "app/output_viewer.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QTextCursor>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "app/app_icon.h"
#include "app/desktop_open.h"
#include "timetable/own_file.h"
#include "widgets/button_keys.h"

namespace morrowset {

namespace {

// The text area's size, in characters of the monospace font.
constexpr int kColumns = 100;
constexpr int kLines = 30;
// A tail starts at the first line start within this many bytes; else where it was cut.
constexpr int64_t kLineStartSearch = 64 * 1024;

QPointer<OutputViewer>& openViewer() {
    static QPointer<OutputViewer> viewer;
    return viewer;
}

struct Tail {
    QString text;
    int64_t leftOut = 0;  // bytes before the part shown
    int64_t shown = 0;    // bytes shown
    QString trouble;      // why nothing can be shown
};

QString whyNotRead(const QString& path, int error) {
    if (error == ENOENT) return QStringLiteral("The output file is gone: %1").arg(path);
    if (error == EPERM || error == ELOOP)
        return QStringLiteral("The output file is not shown: it is not a plain file of yours (%1).").arg(path);
    return QStringLiteral("The output file cannot be read: %1 (%2).").arg(QString::fromLocal8Bit(std::strerror(error)), path);
}

Tail readTail(const QString& path) {
    const OwnFile file = OwnFile::open(path.toStdString());
    if (!file.isOpen()) return {{}, 0, 0, whyNotRead(path, errno)};
    const int64_t size = file.size();
    int64_t start = std::max<int64_t>(0, size - OutputViewer::kShownBytes);
    std::string bytes = file.read(start, static_cast<std::size_t>(size - start));
    if (start > 0) {
        // From the start of a line, rather than from within a line (or a character).
        const std::size_t newline = bytes.find('\n');
        if (newline != std::string::npos && static_cast<int64_t>(newline) < kLineStartSearch) {
            bytes.erase(0, newline + 1);
            start += static_cast<int64_t>(newline) + 1;
        }
    }
    return {QString::fromUtf8(bytes), start, static_cast<int64_t>(bytes.size()), {}};
}

QPushButton* button(const QString& caption, QWidget* parent) {
    auto* made = new QPushButton(caption, parent);
    made->setAutoDefault(false);  // Enter acts on the control that has the focus
    wardline::clickOnEnter(made);
    return made;
}

}  // namespace

OutputViewer::OutputViewer(QDBusConnection bus, QWidget* parent) : QDialog(parent), bus_(std::move(bus)) {
    setWindowTitle(QStringLiteral("Morrowset Output"));
    setWindowIcon(morrowsetIcon());
    setSizeGripEnabled(true);
    createControls();
    createShortcuts();
}

OutputViewer* OutputViewer::current() { return openViewer(); }

void OutputViewer::createControls() {
    lblHeading = new QLabel(this);
    lblHeading->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblNote = new QLabel(this);
    lblNote->setWordWrap(true);
    lblNote->hide();
    txtOutput = new QPlainTextEdit(this);
    txtOutput->setReadOnly(true);
    txtOutput->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtOutput->setTabChangesFocus(true);
    txtOutput->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    const QFontMetrics metrics(txtOutput->font());
    txtOutput->setMinimumSize(metrics.horizontalAdvance(QLatin1Char('M')) * kColumns / 3, metrics.lineSpacing() * 5);
    lblFind = new QLabel(QStringLiteral("&Find:"), this);
    txtFind = new QLineEdit(this);
    lblFind->setBuddy(txtFind);
    lblFound = new QLabel(this);
    cmdPrevious = button(QStringLiteral("&Previous"), this);
    cmdNext = button(QStringLiteral("&Next"), this);
    cmdOpenWith = button(QStringLiteral("Open &With…"), this);
    cmdShowInFolder = button(QStringLiteral("Show in F&older"), this);
    cmdClose = button(QStringLiteral("Close"), this);

    auto* findRow = new QHBoxLayout;
    for (QWidget* control : std::initializer_list<QWidget*>{lblFind, txtFind, cmdPrevious, cmdNext, lblFound})
        findRow->addWidget(control);
    findRow->addStretch();
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(cmdOpenWith);
    buttonRow->addWidget(cmdShowInFolder);
    buttonRow->addStretch();
    buttonRow->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblHeading);
    layout->addWidget(lblNote);
    layout->addWidget(txtOutput, 1);
    layout->addLayout(findRow);
    layout->addLayout(buttonRow);

    // The text area takes its size from its font: kColumns by kLines characters.
    const QSize text(metrics.horizontalAdvance(QLatin1Char('M')) * kColumns, metrics.lineSpacing() * kLines);
    resize(sizeHint().expandedTo(text + QSize(0, sizeHint().height() - txtOutput->sizeHint().height())));

    connect(txtFind, &QLineEdit::returnPressed, this, &OutputViewer::findNext);
    connect(txtFind, &QLineEdit::textEdited, lblFound, &QLabel::clear);
    connect(cmdNext, &QPushButton::clicked, this, &OutputViewer::findNext);
    connect(cmdPrevious, &QPushButton::clicked, this, &OutputViewer::findPrevious);
    connect(cmdOpenWith, &QPushButton::clicked, this, &OutputViewer::openWith);
    connect(cmdShowInFolder, &QPushButton::clicked, this, &OutputViewer::showInFolder);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::close);
}

void OutputViewer::createShortcuts() {
    connect(new QShortcut(QKeySequence::Find, this), &QShortcut::activated, this, [this] {
        txtFind->setFocus();
        txtFind->selectAll();
    });
    connect(new QShortcut(QKeySequence::FindNext, this), &QShortcut::activated, this, &OutputViewer::findNext);
    connect(new QShortcut(QKeySequence::FindPrevious, this), &QShortcut::activated, this, &OutputViewer::findPrevious);
}

void OutputViewer::showFile(const QString& path, const QString& heading) {
    path_ = path;
    lblHeading->setText(heading);
    lblFound->clear();
    const Tail tail = readTail(path);
    txtOutput->setPlainText(tail.text);
    txtOutput->moveCursor(QTextCursor::End);  // a program's last words are at its end
    const bool there = tail.trouble.isEmpty();
    cmdOpenWith->setEnabled(there);
    if (!there) return setNote(tail.trouble, true);
    if (tail.leftOut > 0)
        return setNote(QStringLiteral("The first %1 bytes of this output are left out; the last %2 follow. "
                                      "\"Open With…\" shows all of it.")
                           .arg(tail.leftOut)
                           .arg(tail.shown),
                       false);
    setNote({}, false);
}

void OutputViewer::setNote(const QString& note, bool trouble) {
    lblNote->setText(note);
    lblNote->setStyleSheet(trouble ? QStringLiteral("color: #b00000; font-weight: bold") : QString());
    lblNote->setVisible(!note.isEmpty());
}

bool OutputViewer::findNext() { return find(false); }
bool OutputViewer::findPrevious() { return find(true); }

bool OutputViewer::find(bool backwards) {
    const QString text = txtFind->text();
    if (text.isEmpty()) return false;
    const QTextDocument::FindFlags flags = backwards ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    if (txtOutput->find(text, flags)) {
        lblFound->clear();
        return true;
    }
    // Round the end: from the other end of the text.
    const QTextCursor before = txtOutput->textCursor();
    txtOutput->moveCursor(backwards ? QTextCursor::End : QTextCursor::Start);
    if (txtOutput->find(text, flags)) {
        lblFound->setText(backwards ? QStringLiteral("from the end") : QStringLiteral("from the top"));
        return true;
    }
    txtOutput->setTextCursor(before);
    lblFound->setText(QStringLiteral("not found"));
    return false;
}

void OutputViewer::openWith() {
    openOnDesktop(path_, this, [this](const QString& why) { setNote(why, true); });
}

void OutputViewer::showInFolder() {
    morrowset::showInFolder(path_, bus_, this, [this](const QString& why) { setNote(why, true); });
}

OutputViewer* showOutputViewer(const QString& path, const QString& heading) {
    QPointer<OutputViewer>& viewer = openViewer();
    if (!viewer) {
        viewer = new OutputViewer;
        viewer->setAttribute(Qt::WA_DeleteOnClose);  // the next one is loaded anew
    }
    viewer->showFile(path, heading);
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
    return viewer;
}

}  // namespace morrowset
