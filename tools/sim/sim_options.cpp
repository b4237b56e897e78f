#include "sim_options.h"

#include "line_rate.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include <cmath>

namespace orvik::sim {

namespace {

constexpr int kMaxMs = 600'000;

std::optional<int> intIn(const QString& text, int low, int high)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high) return std::nullopt;
    return value;
}

std::optional<double> doubleIn(const QString& text, double low, double high)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < low || value > high) return std::nullopt;
    return value;
}

// Stores `value` in `field` when it is present; false otherwise.
template <typename Field, typename Value> bool store(Field& field, const std::optional<Value>& value)
{
    if (value) field = static_cast<Field>(*value);
    return value.has_value();
}

bool setPort(SimOptions& o, const QString& v)
{
    // The monitor's port map numbers ports 1 to 255.
    static const QRegularExpression kPortName(QStringLiteral("^COM([1-9][0-9]{0,2})$"));
    const QRegularExpressionMatch match = kPortName.match(v);
    if (!match.hasMatch() || match.captured(1).toInt() > 255) return false;
    o.port = v;
    return true;
}

bool setBaud(SimOptions& o, const QString& v)
{
    const std::optional<int> rate = intIn(v, 1, 115200);
    return rate && isLineRate(*rate) && store(o.line.baud, rate);
}

// "N" delays every reply, "ADDRESS:N" the replies of one device (1..16 or 255); each may be given again.
bool setDelay(ReplyDelays& delays, const QString& v)
{
    const qsizetype colon = v.indexOf(QLatin1Char(':'));
    const std::optional<int> ms = intIn(v.mid(colon + 1), 0, kMaxMs);
    if (!ms) return false;
    if (colon < 0) {
        delays.allMs = *ms;
        return true;
    }
    const std::optional<int> address = intIn(v.left(colon), 1, 255);
    if (!address || (*address > 16 && *address != 255)) return false;
    delays.byAddress.insert(*address, *ms);
    return true;
}

bool setSeed(SimOptions& o, const QString& v)
{
    bool ok = false;
    const quint64 seed = v.toULongLong(&ok);
    if (ok) {
        o.seed = seed;
        o.seedGiven = true;
    }
    return ok;
}

struct OptionDef {
    const char* name;
    const char* value; // empty: a flag, set by its presence
    const char* help;
    bool (*set)(SimOptions&, const QString&);
};

// clang-format off
const OptionDef kOptions[] = {
    { "port", "COM<n>", "Port name the line is registered under, COM1..COM255 (default COM7).", setPort },
    { "baud", "N", "Rate the devices run at: 600, 1200, ..., 115200 (default 9600).", setBaud },
    { "phys", "N", "Physical address register of the configured device, 0..255 (default 1).",
        [](SimOptions& o, const QString& v) { return store(o.line.physicalAddress, intIn(v, 0, 255)); } },
    { "answer-255", "", "The device asked at 255 answers under 255, not under its logical address.",
        [](SimOptions& o, const QString&) { return o.line.answerUnder255 = true; } },
    { "slaves", "LIST", "Sensors that answer: 1-16 (default), 1,2,5, 3-6,9 or none.",
        [](SimOptions& o, const QString& v) { return store(o.line.slaves, parseSlaves(v)); } },
    { "distance", "SRC", "wave (default: a slow sine per sensor) or fixed:<mm>.",
        [](SimOptions& o, const QString& v) { return store(o.line.distance, parseDistance(v)); } },
    { "garbage-on-mismatch", "", "Answer requests at a wrong speed with a few random bytes.",
        [](SimOptions& o, const QString&) { return o.garbageOnMismatch = true; } },
    { "gap-ms", "N", "Pause of N ms in the middle of each reply.",
        [](SimOptions& o, const QString& v) { return store(o.gapMs, intIn(v, 0, kMaxMs)); } },
    { "noise", "RATE", "Share of reply bytes (0..1) that get one bit flipped.",
        [](SimOptions& o, const QString& v) { return store(o.noise, doubleIn(v, 0.0, 1.0)); } },
    { "late-ms", "[ADDR:]N", "Delay each reply, or those of device ADDR, by N more ms; may be repeated.",
        [](SimOptions& o, const QString& v) { return setDelay(o.late, v); } },
    { "turnaround-ms", "[ADDR:]N", "Quiet time between a request and its reply, or device ADDR's (default 3); may be "
        "repeated.", [](SimOptions& o, const QString& v) { return setDelay(o.turnaround, v); } },
    { "echo", "", "Send every request back as it arrives, like a two-wire adapter without echo suppression.",
        [](SimOptions& o, const QString&) { return o.echo = true; } },
    { "exit-after", "S", "Cut the line after S seconds: close it, remove the link and exit.",
        [](SimOptions& o, const QString& v) { return store(o.exitAfter, doubleIn(v, 0.0, 1e6)); } },
    { "seed", "N", "Seed of the random generator (default: from the system).", setSeed },
    { "log", "FILE", "Also write the line log to FILE.",
        [](SimOptions& o, const QString& v) { o.logFile = v; return !v.isEmpty(); } },
    { "force", "", "Take the port name over even when it points at a live line.",
        [](SimOptions& o, const QString&) { return o.force = true; } },
};
// clang-format on

} // namespace

QString ReplyDelays::describe() const
{
    QString text = QString::number(allMs);
    for (auto it = byAddress.cbegin(); it != byAddress.cend(); ++it)
        text += QStringLiteral(",%1:%2").arg(it.key()).arg(it.value());
    return text;
}

ParsedOptions parseOptions(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Plays a line of Modbus RTU distance sensors on a pseudo-terminal."));
    const QCommandLineOption help = parser.addHelpOption();
    for (const OptionDef& def : kOptions)
        parser.addOption(QCommandLineOption(
            QString::fromLatin1(def.name), QString::fromLatin1(def.help), QString::fromLatin1(def.value)));
    ParsedOptions result;
    if (!parser.parse(arguments)) {
        result.message = parser.errorText();
        return result;
    }
    if (parser.isSet(help)) {
        result.help = true;
        result.message = parser.helpText();
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.message = QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().front());
        return result;
    }
    SimOptions options;
    for (const OptionDef& def : kOptions) {
        const QString name = QString::fromLatin1(def.name);
        if (!parser.isSet(name)) continue;
        // A flag has no value; an option given twice is applied twice, in order.
        const QStringList values = *def.value ? parser.values(name) : QStringList { QString() };
        for (const QString& value : values) {
            if (!def.set(options, value)) {
                result.message
                    = QStringLiteral("Bad value '%1' for --%2 (%3).").arg(value, name, QString::fromLatin1(def.value));
                return result;
            }
        }
    }
    result.options = options;
    return result;
}

} // namespace orvik::sim
