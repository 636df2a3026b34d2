#include "app/app_icon.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace morrowset {

namespace {

// Everything is drawn on a 32 x 32 grid and scaled.
constexpr qreal kGrid = 32.0;

void paintTile(QPainter& painter) {
    QLinearGradient fill(0, 0, 0, kGrid);
    fill.setColorAt(0.0, QColor(0x2F, 0x6F, 0xB5));
    fill.setColorAt(1.0, QColor(0x1B, 0x3F, 0x73));
    painter.setPen(QPen(QColor(0x12, 0x2B, 0x50), 1.0));
    painter.setBrush(fill);
    painter.drawRoundedRect(QRectF(1.5, 1.5, 29, 29), 6, 6);
}

void paintClock(QPainter& painter) {
    const QPointF centre(16, 14);
    painter.setPen(QPen(QColor(0x1B, 0x3F, 0x73), 1.2));
    painter.setBrush(QColor(0xF7, 0xF4, 0xE8));
    painter.drawEllipse(centre, 10, 10);
    painter.setPen(QPen(QColor(0x55, 0x55, 0x55), 1.0, Qt::SolidLine, Qt::RoundCap));
    for (int hour = 0; hour < 12; hour += 3) {
        painter.save();
        painter.translate(centre);
        painter.rotate(hour * 30.0);
        painter.drawLine(QPointF(0, -8.5), QPointF(0, -7));
        painter.restore();
    }
    painter.setPen(QPen(QColor(0x20, 0x20, 0x20), 1.6, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(centre, centre + QPointF(0, -7));    // minute hand at twelve
    painter.drawLine(centre, centre + QPointF(4.5, 2.5));  // hour hand near four
}

void paintStartArrow(QPainter& painter) {
    QPainterPath arrow;
    arrow.moveTo(20, 21);
    arrow.lineTo(29, 25.5);
    arrow.lineTo(20, 30);
    arrow.closeSubpath();
    painter.setPen(QPen(QColor(0x1E, 0x6B, 0x22), 1.0));
    painter.setBrush(QColor(0x3C, 0xC8, 0x46));
    painter.drawPath(arrow);
}

}  // namespace

QImage morrowsetIconImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / kGrid, size / kGrid);
    paintTile(painter);
    paintClock(painter);
    paintStartArrow(painter);
    return image;
}

// A window's icon goes to the X server at every size it holds each time the window is shown,
// so it holds the sizes window managers draw (up to 64 pixels); menus and launchers take the
// larger ones from the installed icon theme.
QIcon morrowsetIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64}) icon.addPixmap(QPixmap::fromImage(morrowsetIconImage(size)));
    return icon;
}

void useMorrowsetIconForAllWindows() {
    static bool used = false;
    if (used) return;
    used = true;
    QApplication::setWindowIcon(morrowsetIcon());
}

}  // namespace morrowset
