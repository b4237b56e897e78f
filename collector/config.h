// The collector's settings: command line options and an INI file with the same keys, checked once at start.
#pragma once

#include "mqtt_feed.h"
#include "serial_settings.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace orvik::collector {

struct Config {
    QString port; // a device path, typically /dev/serial/by-id/...
    LineSettings line; // rate and parity; 8 data bits, 1 stop bit
    QList<quint8> slaves; // in polling order
    qint64 periodMs = 1000;
    int replyTimeoutMs = 100;
    int retries = 1;
    QString csvDir; // empty: no CSV files
    QString lineName; // the line's name on the broker and in the CSV file names
    std::optional<MqttSettings> mqtt;
    QString configFile; // where the file keys came from, reread on SIGHUP
    bool once = false;
};

struct ConfigResult {
    std::optional<Config> config;
    QString error; // one line naming the key and the value
    bool help = false;
};

// Reads `arguments` (argv[0] first) over the file named by --config, if any: a key given on the command line wins.
// The MQTT password comes from the file's mqtt-password or, failing that, from `envPassword`.
ConfigResult parseConfig(const QStringList& arguments, const QString& envPassword);

// "1-4,6-16": addresses 1 to 16 in the order given, each once.
std::optional<QList<quint8>> parseSlaveList(const QString& text);

QString usage();

} // namespace orvik::collector
