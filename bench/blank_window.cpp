// bench_blank_window: the least a Qt Widgets program does to show a window of the monitor's size, as the start-up
// floor of this platform (library loading, the display connection, the fonts for one line of Chinese text).
#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Blank Window"));
    window.resize(981, 512);
    QLabel label(QStringLiteral("联机通讯参数 Orvik"), &window);
    label.move(20, 20);
    window.show();
    return QApplication::exec();
}
