#include "errortrap/dialog/call_tree_list.h"

#include <QApplication>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTextOption>

namespace wardline {
namespace {

constexpr int kCharsPerTabStop = 8;

// Draws an entry's text with the list's tab stops; the style draws the rest.
class TabStopDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        const QString text = item.text;
        item.text.clear();
        const QStyle* style = item.widget ? item.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &item, painter, item.widget);
        const QRect area = style->subElementRect(QStyle::SE_ItemViewItemText, &item, item.widget);
        const bool selected = item.state & QStyle::State_Selected;
        painter->save();
        painter->setFont(item.font);
        painter->setPen(item.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter->drawText(area.adjusted(textMargin(item), 0, 0, 0), text, textOption(item));
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        const QFontMetrics metrics(item.font);
        const int width = metrics.boundingRect(QRect(), Qt::TextExpandTabs, item.text, tabStop(item)).width();
        size.setWidth(width + 2 * textMargin(item) + 2);
        return size;
    }

private:
    static int tabStop(const QStyleOptionViewItem& item) {
        return kCharsPerTabStop * QFontMetrics(item.font).averageCharWidth();
    }
    static int textMargin(const QStyleOptionViewItem& item) {
        const QStyle* style = item.widget ? item.widget->style() : QApplication::style();
        return style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, item.widget) + 1;
    }
    static QTextOption textOption(const QStyleOptionViewItem& item) {
        QTextOption option(Qt::AlignLeft | Qt::AlignVCenter);
        option.setWrapMode(QTextOption::NoWrap);
        option.setTabStopDistance(tabStop(item));
        return option;
    }
};

}  // namespace

CallTreeList::CallTreeList(QWidget* parent) : QListWidget(parent) {
    setItemDelegate(new TabStopDelegate(this));
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // The extent is wider than the list, so the bar is always there (and never toggles).
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setTextElideMode(Qt::ElideNone);
}

void CallTreeList::setHorizontalExtent(int pixels) {
    extent_ = pixels;
    updateGeometries();
}

// The range the entries need, widened to the extent when that is larger.
void CallTreeList::updateGeometries() {
    QListWidget::updateGeometries();
    QScrollBar* bar = horizontalScrollBar();
    const int wanted = extent_ - viewport()->width();
    if (wanted > bar->maximum()) bar->setRange(0, wanted);
}

}  // namespace wardline
