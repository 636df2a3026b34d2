#pragma once
// The program's own icon, painted in code so that every size is sharp: a clock face on a
// blue tile, with a green start arrow at its foot.
#include <QIcon>
#include <QImage>

namespace morrowset {

// The icon as a square image of `size` pixels (transparent around the tile).
QImage morrowsetIconImage(int size);
// The window icon, at the sizes window managers draw (16 to 64 pixels).
QIcon morrowsetIcon();
// Makes the icon every window's default, once; later calls cost a flag test. Start-up calls it
// after the first frame, and a box or dialog shown before that calls it for itself.
void useMorrowsetIconForAllWindows();

}  // namespace morrowset
