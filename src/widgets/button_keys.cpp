#include "widgets/button_keys.h"

#include <QKeyEvent>
#include <QPushButton>

namespace wardline {
namespace {

class EnterClicks : public QObject {
public:
    explicit EnterClicks(QPushButton* button) : QObject(button), button_(button) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != button_ || event->type() != QEvent::KeyPress) return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (!enter || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
        if (button_->isEnabled()) button_->click();
        return true;
    }

private:
    QPushButton* button_;
};

}  // namespace

void clickOnEnter(QPushButton* button) {
    button->installEventFilter(new EnterClicks(button));
}

}  // namespace wardline
