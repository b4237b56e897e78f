#include "config.h"

#include "line_format.h"

#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <algorithm>
#include <cmath>

namespace orvik::collector {

namespace {

using Values = QMap<QString, QString>;

std::optional<int> intIn(const QString& text, int low, int high)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || value < low || value > high) return std::nullopt;
    return value;
}

std::optional<bool> flag(const QString& text)
{
    const QString t = text.trimmed().toLower();
    if (t == u"true" || t == u"yes" || t == u"on" || t == u"1") return true;
    if (t == u"false" || t == u"no" || t == u"off" || t == u"0") return false;
    return std::nullopt;
}

bool setBaud(Config& c, const QString& v)
{
    const std::optional<int> rate = intIn(v, 1, 115200);
    if (!rate || std::find(kLineRates.begin(), kLineRates.end(), *rate) == kLineRates.end()) return false;
    c.line.baud = *rate;
    return true;
}

bool setParity(Config& c, const QString& v)
{
    const QString p = v.trimmed().toLower();
    if (p == u"none" || p == u"n")
        c.line.parity = LineParity::None;
    else if (p == u"even" || p == u"e")
        c.line.parity = LineParity::Even;
    else if (p == u"odd" || p == u"o")
        c.line.parity = LineParity::Odd;
    else
        return false;
    return true;
}

bool setPeriod(Config& c, const QString& v)
{
    bool ok = false;
    const double seconds = v.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || seconds < 0.01 || seconds > 86400) return false;
    c.periodMs = std::llround(seconds * 1000);
    return true;
}

template <typename Field> bool store(Field& field, std::optional<int> value)
{
    if (value) field = static_cast<Field>(*value);
    return value.has_value();
}

struct Key {
    const char* name;
    const char* value; // empty: a flag on the command line, a yes/no in the file
    const char* expected; // what a good value looks like, for the error line
    bool (*apply)(Config&, const QString&); // null: an MQTT key, checked by the feed's own parser
};

// clang-format off
const Key kKeys[] = {
    { "port", "PATH", "a serial device path",
        [](Config& c, const QString& v) { c.port = v.trimmed(); return !c.port.isEmpty(); } },
    { "baud", "RATE", "one of 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200", setBaud },
    { "parity", "none|even|odd", "none, even or odd", setParity },
    { "slaves", "LIST", "addresses 1 to 16 as 1-4,6-16",
        [](Config& c, const QString& v) { const auto s = parseSlaveList(v); if (s) c.slaves = *s; return s.has_value(); } },
    { "period", "SECONDS", "seconds from 0.01 to 86400, decimals allowed", setPeriod },
    { "reply-timeout", "MS", "milliseconds from 1 to 10000",
        [](Config& c, const QString& v) { return store(c.replyTimeoutMs, intIn(v, 1, 10000)); } },
    { "retries", "N", "0 to 10", [](Config& c, const QString& v) { return store(c.retries, intIn(v, 0, 10)); } },
    { "csv-dir", "DIR", "a folder",
        [](Config& c, const QString& v) { c.csvDir = v.trimmed(); return !c.csvDir.isEmpty(); } },
    { "line", "NAME", "a name", [](Config& c, const QString& v) { c.lineName = v.trimmed(); return !c.lineName.isEmpty(); } },
    { "mqtt-host", "HOST", "", nullptr },
    { "mqtt-port", "PORT", "", nullptr },
    { "mqtt-tls", "", "", nullptr },
    { "mqtt-cafile", "FILE", "", nullptr },
    { "mqtt-user", "USER", "", nullptr },
    { "mqtt-prefix", "PREFIX", "", nullptr },
    { "mqtt-ha", "", "", nullptr },
};
// clang-format on

const Key* findKey(const QString& name)
{
    for (const Key& key : kKeys)
        if (name == QLatin1String(key.name)) return &key;
    return nullptr;
}

QString badValue(const QString& key, const QString& value, const char* expected)
{
    return QStringLiteral("bad value '%1' for %2: expected %3").arg(value, key, QString::fromLatin1(expected));
}

// key = value lines; blank lines, # and ; comments and [section] headers are skipped.
QString readFile(const QString& path, Values& values)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QStringLiteral("bad value '%1' for config: %2").arg(path, file.errorString());
    int number = 0;
    while (!file.atEnd()) {
        ++number;
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(u'#') || line.startsWith(u';') || line.startsWith(u'[')) continue;
        const qsizetype eq = line.indexOf(u'=');
        const QString key = line.left(eq).trimmed();
        if (eq < 0 || (!findKey(key) && key != u"mqtt-password"))
            return QStringLiteral("unknown key '%1' in %2, line %3").arg(key, path).arg(number);
        QString value = line.mid(eq + 1).trimmed();
        if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"')) value = value.mid(1, value.size() - 2);
        values.insert(key, value);
    }
    return {};
}

// The MQTT keys go through the monitor's own option parser, so both programs take the same values.
QString applyMqtt(Config& c, const Values& values, const QString& envPassword)
{
    QStringList args;
    for (const Key& key : kKeys) {
        const QString name = QString::fromLatin1(key.name);
        if (key.apply || !values.contains(name) || !name.startsWith(u"mqtt-")) continue;
        if (*key.value) {
            args << QStringLiteral("--") + name << values[name];
            continue;
        }
        const std::optional<bool> on = flag(values[name]);
        if (!on) return badValue(name, values[name], "yes or no");
        if (*on) args << QStringLiteral("--") + name;
    }
    const QString password = values.value(QStringLiteral("mqtt-password"), envPassword);
    const MqttArguments parsed = parseMqttArguments(args, password);
    if (!parsed.error.isEmpty()) return parsed.error;
    c.mqtt = parsed.settings;
    return {};
}

} // namespace

std::optional<QList<quint8>> parseSlaveList(const QString& text)
{
    QList<quint8> slaves;
    for (const QString& part : text.split(u',')) {
        const QStringList ends = part.split(u'-');
        if (ends.size() > 2) return std::nullopt;
        const std::optional<int> first = intIn(ends.front(), 1, 16);
        const std::optional<int> last = ends.size() == 2 ? intIn(ends.back(), 1, 16) : first;
        if (!first || !last || *last < *first) return std::nullopt;
        for (int a = *first; a <= *last; ++a) {
            if (slaves.contains(static_cast<quint8>(a))) return std::nullopt;
            slaves << static_cast<quint8>(a);
        }
    }
    return slaves;
}

ConfigResult parseConfig(const QStringList& arguments, const QString& envPassword)
{
    Values given;
    Config config;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        QString option = arguments[i];
        if (option == u"--help" || option == u"-h") return { {}, {}, true };
        if (option == u"--once") {
            config.once = true;
            continue;
        }
        if (!option.startsWith(u"--")) return { {}, QStringLiteral("unexpected argument '%1'").arg(option) };
        option = option.mid(2);
        std::optional<QString> value;
        if (const qsizetype eq = option.indexOf(u'='); eq >= 0) {
            value = option.mid(eq + 1);
            option = option.left(eq);
        }
        const Key* key = findKey(option);
        const bool takesValue = option == u"config" || (key && *key->value);
        if (!key && option != u"config") {
            if (option.startsWith(u"mqtt-pass"))
                return { {}, parseMqttArguments({ QStringLiteral("--mqtt-password") }, {}).error };
            return { {}, QStringLiteral("unknown option --%1").arg(option) };
        }
        if (takesValue && !value) {
            if (i + 1 >= arguments.size()) return { {}, QStringLiteral("--%1 needs a value").arg(option) };
            value = arguments[++i];
        }
        given.insert(option, value.value_or(QStringLiteral("yes")));
    }
    Values values;
    if (given.contains(QStringLiteral("config"))) {
        config.configFile = QFileInfo(given.take(QStringLiteral("config"))).absoluteFilePath();
        if (QString error = readFile(config.configFile, values); !error.isEmpty()) return { {}, error };
    }
    for (auto it = given.cbegin(); it != given.cend(); ++it)
        values.insert(it.key(), it.value());

    config.slaves = *parseSlaveList(QStringLiteral("1-16"));
    for (const Key& key : kKeys) {
        const QString name = QString::fromLatin1(key.name);
        if (key.apply && values.contains(name) && !key.apply(config, values[name]))
            return { {}, badValue(name, values[name], key.expected) };
    }
    if (config.port.isEmpty()) return { {}, QStringLiteral("no port: give --port PATH or port = PATH in the file") };
    if (QString error = applyMqtt(config, values, envPassword); !error.isEmpty()) return { {}, error };
    if (config.lineName.isEmpty()) config.lineName = QFileInfo(config.port).fileName();
    return { config, {} };
}

QString usage()
{
    QString text = QStringLiteral("Usage: orvik-collector [--once] [--config FILE] [options]\n"
                                  "Reads a line of distance sensors, publishes every distance, keeps daily CSV files.\n"
                                  "Every option is also a key of the file (key = value).\n\n");
    for (const Key& key : kKeys)
        text += QStringLiteral("  --%1 %2\n").arg(QString::fromLatin1(key.name), QString::fromLatin1(key.value));
    return text;
}

} // namespace orvik::collector
