#pragma once
// The call tree list box: entries indent with tab characters, which it shows at tab stops
// every eight average characters, and it can be scrolled sideways across a fixed extent
// that the form sets, so that deep, long entries can be read.
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
