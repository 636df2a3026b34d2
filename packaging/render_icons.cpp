// Writes the program's icon as hicolor theme PNGs: <folder>/<N>x<N>/apps/morrowset.png for
// each size given, from the same drawing the program paints for its windows.
#include <QDir>
#include <QImage>

#include <cstdio>
#include <cstdlib>

#include "app/app_icon.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <folder> <size>...\n", argv[0]);
        return 2;
    }
    // Painting into a QImage needs no display and no application object.
    const QString root = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size <= 0) {
            std::fprintf(stderr, "not a size: %s\n", argv[i]);
            return 2;
        }
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
        const QString file = folder + QStringLiteral("/morrowset.png");
        if (!QDir().mkpath(folder) || !morrowset::morrowsetIconImage(size).save(file, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
