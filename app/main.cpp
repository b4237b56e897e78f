// Program entry: one window, one event loop.
#include "dump_socket.h"
#include "handler_guard.h"
#include "mqtt_feed.h"
#include "qt_translations.h"
#include "tform1.h"

#include <QApplication>
#include <cstdio>

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
    // Publishing given on the command line holds for this run; the password only ever comes from the environment.
    // Checked before the application starts, so a bad option is reported even where no display can be opened.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const orvik::MqttArguments mqtt = orvik::parseMqttArguments(arguments, qEnvironmentVariable("ORVIK_MQTT_PASSWORD"));
    if (!mqtt.error.isEmpty()) {
        std::fprintf(stderr, "orvik-monitor: %s\n", mqtt.error.toLocal8Bit().constData());
        return 2;
    }
    OrvikApplication app(argc, argv);
    // Only the application name: a display name would be appended to the window title.
    QApplication::setApplicationName(QStringLiteral("OrvikMonitor"));
    QGuiApplication::setDesktopFileName(QStringLiteral("orvik-monitor"));
    orvik::installQtTranslations(app);
    TForm1 form;
    if (mqtt.settings) form.useMqttSettings(*mqtt.settings);
    installInspectionHook(form); // test builds only, and only when asked for by the environment
    form.showCentred();
    return QApplication::exec();
}
