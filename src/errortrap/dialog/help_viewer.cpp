#include "errortrap/dialog/help_viewer.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWindow>

#include "platform/help_file.h"
#include "widgets/button_keys.h"

namespace platform {
namespace {

QPointer<HelpViewer>& openViewer() {
    static QPointer<HelpViewer> viewer;
    return viewer;
}

QString noHelpReason(const HelpLookupResult& result, int32_t context) {
    const QString path = QString::fromStdString(result.path);
    switch (result.status) {
        case HelpLookup::NoFile:
            return QStringLiteral("No help file has been set for this item.");
        case HelpLookup::FileMissing:
            return QStringLiteral("The help file \"%1\" could not be found.").arg(path);
        case HelpLookup::TopicMissing:
            return QStringLiteral("The help file \"%1\" has no topic %2.").arg(path).arg(context);
        case HelpLookup::Found:
            break;
    }
    return {};
}

// The viewer must stay usable while a modal dialog is open: it is kept above that dialog
// and so is not blocked by it, but it is not the dialog's child, so it outlives it.
void keepInFrontOf(QWidget* viewer, QWidget* owner) {
    if (!owner) owner = QApplication::activeModalWidget();
    viewer->winId();  // creates the native window
    if (QWindow* window = viewer->windowHandle())
        window->setTransientParent(owner ? owner->window()->windowHandle() : nullptr);
}

}  // namespace

HelpViewer::HelpViewer() : title_(new QLabel(this)), body_(new QPlainTextEdit(this)) {
    setWindowTitle(QStringLiteral("Wardline Help"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_QuitOnClose, false);
    QFont heading = title_->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.25);
    title_->setFont(heading);
    title_->setWordWrap(true);
    body_->setReadOnly(true);
    body_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QWidget::close);
    wardline::clickOnEnter(buttons->button(QDialogButtonBox::Close));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title_);
    layout->addWidget(body_, 1);
    layout->addWidget(buttons);
    resize(520, 380);
}

void HelpViewer::showTopic(const std::string& helpFile, int32_t context) {
    helpFile_ = helpFile;
    context_ = context;
    const HelpLookupResult result = lookUpHelpTopic(helpFile, context);
    if (result.status == HelpLookup::Found) {
        title_->setText(QString::fromStdString(result.topic.title));
        body_->setPlainText(QString::fromStdString(reflowHelpText(result.topic.body)));
    } else {
        title_->setText(QStringLiteral("No help available"));
        body_->setPlainText(noHelpReason(result, context));
    }
}

QString HelpViewer::titleText() const {
    return title_->text();
}
QString HelpViewer::bodyText() const {
    return body_->toPlainText();
}

void showHelpTopic(QWidget* owner, const std::string& helpFile, int32_t context) {
    QPointer<HelpViewer>& viewer = openViewer();
    if (!viewer) viewer = new HelpViewer;
    keepInFrontOf(viewer, owner);
    viewer->showTopic(helpFile, context);
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
}

HelpViewer* helpViewer() {
    return openViewer().data();
}

}  // namespace platform
