// The serial ports of this machine under COM names: links in a ports folder first, then the machine's own devices.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace orvik {

struct PortEntry {
    int number = 0; // n of COM<n>, 1 to 255
    QString name; // "COM7"
    QString devicePath; // the device's resolved real path
    QString origin; // the link's path, or "system" for a device of the machine

    friend bool operator==(const PortEntry&, const PortEntry&) = default;
};

// $ORVIK_PORTS_DIR if set, else $XDG_RUNTIME_DIR/orvik-ports, else /tmp/orvik-ports-<uid>.
QString portsDirectory();

// The machine's serial devices as Qt's port enumeration reports them (paths such as /dev/ttyUSB0).
QStringList systemSerialDevices();

// Every COM<n> link in dir (n 1 to 255, no leading zero) that leads to a terminal device is port n. Each system
// device that no link already names (by resolved path) then takes the lowest free number, in the order ttyS,
// ttyUSB, ttyACM, the rest, each by its number. A missing or unreadable folder yields the system devices only.
// Sorted by number; never throws.
QList<PortEntry> mapPorts(const QString& dir, const QStringList& systemDevices);

QList<PortEntry> listPorts(const QString& dir = portsDirectory());
std::optional<PortEntry> findPort(int number, const QString& dir = portsDirectory());

} // namespace orvik
