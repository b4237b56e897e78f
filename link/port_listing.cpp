#include "port_listing.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace orvik {

namespace {

// What tells one device from another behind the same path. A device with a sysfs entry (a USB adapter) is known by
// where it hangs, so the same adapter plugged back into the same socket is still itself, and another one elsewhere
// is not. A pseudo-terminal has no such entry: its node's change time tells a /dev/pts number handed to a new line.
struct DeviceIdentity {
    quint64 deviceNumber = 0;
    QString sysfsPath;
    qint64 nodeChangedNs = 0; // pseudo-terminals only

    friend bool operator==(const DeviceIdentity&, const DeviceIdentity&) = default;
};

std::optional<DeviceIdentity> identityOf(const QString& devicePath)
{
    struct stat st { };
    if (::stat(QFile::encodeName(devicePath).constData(), &st) != 0 || !S_ISCHR(st.st_mode)) return std::nullopt;
    DeviceIdentity identity;
    identity.deviceNumber = st.st_rdev;
    identity.sysfsPath = QFileInfo(QStringLiteral("/sys/dev/char/%1:%2").arg(major(st.st_rdev)).arg(minor(st.st_rdev)))
                             .canonicalFilePath();
    if (identity.sysfsPath.isEmpty())
        identity.nodeChangedNs = qint64 { st.st_ctim.tv_sec } * 1'000'000'000 + st.st_ctim.tv_nsec;
    return identity;
}

struct Listed {
    PortEntry entry;
    DeviceIdentity identity;
};

// The window thread is the only one that lists and opens ports.
struct Listing {
    std::optional<QString> dir; // none until the first listing
    QHash<int, Listed> ports;
};

Listing& lastListing()
{
    static Listing listing;
    return listing;
}

} // namespace

QList<PortEntry> takePortListing(const QString& dir)
{
    const QList<PortEntry> ports = listPorts(dir);
    QHash<int, Listed> listed;
    for (const PortEntry& port : ports) {
        // A device that vanished while being listed is left out, so its number cannot open something else.
        if (const std::optional<DeviceIdentity> identity = identityOf(port.devicePath))
            listed.insert(port.number, { port, *identity });
    }
    Listing& last = lastListing();
    last.dir = dir;
    last.ports = std::move(listed);
    return ports;
}

std::optional<PortEntry> listedPort(int number, QString* why, const QString& dir)
{
    const Listing& last = lastListing();
    if (last.dir != dir) {
        std::optional<PortEntry> now = findPort(number, dir);
        if (!now) *why = QStringLiteral("COM%1 is not a serial port on this machine").arg(number);
        return now;
    }
    const auto listed = last.ports.constFind(number);
    if (listed == last.ports.constEnd()) {
        *why = QStringLiteral("COM%1 was not in the port list; list the ports again").arg(number);
        return std::nullopt;
    }
    if (identityOf(listed->entry.devicePath) != listed->identity) {
        *why = QStringLiteral("COM%1 (%2) has gone or is another device now; list the ports again")
                   .arg(number)
                   .arg(listed->entry.devicePath);
        return std::nullopt;
    }
    return listed->entry;
}

} // namespace orvik
