// Program entry: one window, one event loop.
#include "dump_socket.h"
#include "handler_guard.h"
#include "qt_translations.h"
#include "tform1.h"

#include <QApplication>

namespace {

// Backstop for failures thrown by code that runs outside a guarded handler.
class OrvikApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* e) override
    {
        bool handled = false;
        orvik::guarded([&] { handled = QApplication::notify(receiver, e); });
        return handled;
    }
};

} // namespace

int main(int argc, char* argv[])
{
    OrvikApplication app(argc, argv);
    // Only the application name: a display name would be appended to the window title.
    QApplication::setApplicationName(QStringLiteral("OrvikMonitor"));
    QGuiApplication::setDesktopFileName(QStringLiteral("orvik-monitor"));
    orvik::installQtTranslations(app);
    TForm1 form;
    installInspectionHook(form); // test builds only, and only when asked for by the environment
    form.showCentred();
    return QApplication::exec();
}
