#include "port_map.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSerialPortInfo>
#include <QSet>
#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <tuple>
#include <unistd.h>

namespace orvik {

namespace {

constexpr int kMaxPort = 255;
// Unix98 pty slaves (/dev/pts/N) have no sysfs entry; their majors are fixed.
constexpr unsigned kPtySlaveMajorFirst = 136;
constexpr unsigned kPtySlaveMajorLast = 143;

// Opening a serial device raises DTR and RTS (and resets many USB boards), so a device is judged by its
// sysfs class where there is one and opened only on a machine without sysfs.
bool isTerminalDevice(const QString& path)
{
    struct stat st { };
    const QByteArray native = QFile::encodeName(path);
    if (::stat(native.constData(), &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    const unsigned devMajor = major(st.st_rdev);
    if (devMajor >= kPtySlaveMajorFirst && devMajor <= kPtySlaveMajorLast) return true;
    if (QFileInfo(QStringLiteral("/sys/dev/char")).isDir()) {
        const QString subsystem = QStringLiteral("/sys/dev/char/%1:%2/subsystem").arg(devMajor).arg(minor(st.st_rdev));
        return QFileInfo(QFileInfo(subsystem).canonicalFilePath()).fileName() == QLatin1String("tty");
    }
    const int fd = ::open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    const bool tty = ::isatty(fd) == 1;
    ::close(fd);
    return tty;
}

int portNumber(const QString& fileName)
{
    static const QRegularExpression pattern(QStringLiteral("^COM([1-9][0-9]{0,2})$"));
    const QRegularExpressionMatch match = pattern.match(fileName);
    if (!match.hasMatch()) return 0;
    const int number = match.captured(1).toInt();
    return number <= kMaxPort ? number : 0;
}

QList<PortEntry> linkedPorts(const QString& dir)
{
    QList<PortEntry> ports;
    const QDir folder(dir);
    const QStringList names = folder.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        const int number = portNumber(name);
        if (number == 0) continue;
        const QFileInfo link(folder.filePath(name));
        if (!link.isSymLink()) continue;
        const QString device = link.canonicalFilePath(); // empty for a dangling link
        if (device.isEmpty() || !isTerminalDevice(device)) continue;
        ports.append({ number, name, device, link.absoluteFilePath() });
    }
    return ports;
}

struct DeviceOrder {
    int rank; // ttyS, ttyUSB, ttyACM, the rest
    QString stem; // the name without its trailing number
    qlonglong number; // trailing number, -1 without one
    QString path;

    bool operator<(const DeviceOrder& other) const
    {
        return std::tie(rank, stem, number, path) < std::tie(other.rank, other.stem, other.number, other.path);
    }
};

DeviceOrder deviceOrder(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    qsizetype digits = name.size();
    while (digits > 0 && name.at(digits - 1).isDigit())
        --digits;
    const QString stem = name.left(digits);
    bool ok = false;
    const qlonglong number = name.mid(digits).toLongLong(&ok);
    static const QStringList kKnownStems { QStringLiteral("ttyS"), QStringLiteral("ttyUSB"), QStringLiteral("ttyACM") };
    const qsizetype known = kKnownStems.indexOf(stem);
    return { known >= 0 ? int(known) : int(kKnownStems.size()), stem, ok ? number : -1, path };
}

QString resolved(const QString& path)
{
    const QString real = QFileInfo(path).canonicalFilePath();
    return real.isEmpty() ? path : real;
}

} // namespace

QString portsDirectory()
{
    const QString explicitDir = qEnvironmentVariable("ORVIK_PORTS_DIR");
    if (!explicitDir.isEmpty()) return explicitDir;
    const QString runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtimeDir.isEmpty()) return runtimeDir + QStringLiteral("/orvik-ports");
    return QStringLiteral("/tmp/orvik-ports-%1").arg(::getuid());
}

QStringList systemSerialDevices()
{
    QStringList devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        devices.append(info.systemLocation());
    return devices;
}

QList<PortEntry> mapPorts(const QString& dir, const QStringList& systemDevices)
{
    QList<PortEntry> ports = linkedPorts(dir);
    QSet<int> taken;
    QSet<QString> named;
    for (const PortEntry& port : ports) {
        taken.insert(port.number);
        named.insert(port.devicePath);
    }

    QList<DeviceOrder> devices;
    for (const QString& device : systemDevices) {
        const QString real = resolved(device);
        if (!named.contains(real)) {
            named.insert(real); // one number per device, even when listed twice
            devices.append(deviceOrder(real));
        }
    }
    std::sort(devices.begin(), devices.end());

    int next = 1;
    for (const DeviceOrder& device : devices) {
        while (next <= kMaxPort && taken.contains(next))
            ++next;
        if (next > kMaxPort) break;
        ports.append({ next, QStringLiteral("COM%1").arg(next), device.path, QStringLiteral("system") });
        taken.insert(next);
    }
    std::sort(ports.begin(), ports.end(), [](const PortEntry& a, const PortEntry& b) {
        return std::tie(a.number, a.origin) < std::tie(b.number, b.origin);
    });
    return ports;
}

QList<PortEntry> listPorts(const QString& dir)
{
    return mapPorts(dir, systemSerialDevices());
}

std::optional<PortEntry> findPort(int number, const QString& dir)
{
    for (const PortEntry& port : listPorts(dir)) {
        if (port.number == number) return port;
    }
    return std::nullopt;
}

} // namespace orvik
