// orvik-collector: reads a line of distance sensors around the clock, or once from a shell with --once.
#include "collector.h"
#include "config.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvik-collector"));
    const QStringList arguments = QCoreApplication::arguments();
    const orvik::collector::ConfigResult parsed
        = orvik::collector::parseConfig(arguments, qEnvironmentVariable("ORVIK_MQTT_PASSWORD"));
    if (parsed.help) {
        std::printf("%s", orvik::collector::usage().toUtf8().constData());
        return 0;
    }
    if (!parsed.config) {
        std::fprintf(stderr, "<3>orvik-collector: %s\n", parsed.error.toUtf8().constData());
        return 2;
    }
    orvik::collector::Collector collector(*parsed.config, arguments);
    collector.start();
    return QCoreApplication::exec();
}
