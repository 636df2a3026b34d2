#include "errortrap/dialog/call_tree_list.h"

#include <QScrollBar>

namespace wardline {

CallTreeList::CallTreeList(QWidget* parent) : QListWidget(parent) {
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // The extent is wider than the list, so the bar is always there (and never toggles).
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setTextElideMode(Qt::ElideNone);
}

void CallTreeList::setHorizontalExtent(int pixels) {
    extent_ = pixels;
    updateGeometries();
}

// The range the items need, widened to the extent when that is larger.
void CallTreeList::updateGeometries() {
    QListWidget::updateGeometries();
    QScrollBar* bar = horizontalScrollBar();
    const int wanted = extent_ - viewport()->width();
    if (wanted > bar->maximum()) bar->setRange(0, wanted);
}

}  // namespace wardline
