// The peer of Morrowset's start-up benchmark: the least a Qt Widgets program does to show a
// main window (a QMainWindow holding one label), built with the same compiler and flags.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Bare Qt window"));
    window.setCentralWidget(new QLabel(QStringLiteral("A bare Qt main window"), &window));
    window.show();
    return QApplication::exec();
}
