// The simulator's command line.
#pragma once

#include "sensor_line.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

namespace orvik::sim {

// Extra delay before a reply: one for every device, and any device's own over it.
struct ReplyDelays {
    int allMs = 0;
    QMap<int, int> byAddress; // device address -> ms

    int forAddress(int address) const { return byAddress.value(address, allMs); }
    QString describe() const; // "0", "1150" or "1150,2:0"
};

struct SimOptions {
    QString port = QStringLiteral("COM7"); // name of the link in the ports folder
    LineConfig line;
    bool garbageOnMismatch = false;
    bool echo = false; // two-wire adapter without echo suppression
    bool force = false; // take over a port name held by a live line
    int gapMs = 0; // pause in the middle of each reply
    ReplyDelays late;
    ReplyDelays turnaround { 3, {} }; // between the end of a request and the first reply byte, per device
    double noise = 0.0; // share of reply bytes with a flipped bit
    std::optional<double> exitAfter; // seconds until the line is cut
    quint64 seed = 0;
    bool seedGiven = false;
    QString logFile;
};

struct ParsedOptions {
    std::optional<SimOptions> options; // none: print `message` and stop
    QString message; // the error, or the help text
    bool help = false;
};

// Parses the arguments, argv[0] first. Every value is checked here, so the running line never sees a bad one.
ParsedOptions parseOptions(const QStringList& arguments);

} // namespace orvik::sim
