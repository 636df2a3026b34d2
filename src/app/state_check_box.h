#pragma once
// A check box with the three states a row's enabled box has: 0 unchecked, 1 checked,
// 2 grayed. Only the program grays a box; a click on a grayed box checks it.
#include <QCheckBox>
#include <cstdint>

namespace morrowset {

class StateCheckBox : public QCheckBox {
public:
    explicit StateCheckBox(QWidget* parent = nullptr);

    int16_t value() const;
    // Raises 380 Invalid property value outside 0 to 2.
    void setValue(int32_t value);

protected:
    void nextCheckState() override;
};

}  // namespace morrowset
