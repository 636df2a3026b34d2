#pragma once
// A list box with a fixed horizontal scroll range, as wide as the form asks for, so that
// long indented call tree lines can be scrolled into view.
#include <QListWidget>

namespace wardline {

class CallTreeList : public QListWidget {
    Q_OBJECT

public:
    explicit CallTreeList(QWidget* parent);
    // The width in pixels that the list can be scrolled across.
    void setHorizontalExtent(int pixels);
    int horizontalExtent() const { return extent_; }

protected:
    void updateGeometries() override;

private:
    int extent_ = 0;
};

}  // namespace wardline
