// Builds a ports folder from arbitrary bytes (names and link targets: pseudo-terminals, /dev/null, dangling links,
// chains, loops, plain files, folders) and an arbitrary list of system devices, then maps the ports. Each COM link
// that leads to a terminal must become its port, judged here from the folder with plain POSIX calls; every system
// device not already named must take the lowest free numbers in device order; nothing may throw.
#include "fuzz_input.h"
#include "port_map.h"
#include "pty_device.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <climits>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace orvik;
using orvik::fuzz::Input;
using orvik::fuzz::require;

namespace {

struct Fixture {
    QString base; // holds the ports folder and the link targets
    QString ports;
    std::unique_ptr<orvik::test::PtyDevice> terminals[2]; // kept open for the whole run
    QStringList ptys; // their slave paths
};
Fixture* g_fixture = nullptr;

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

// Empties the ports folder without following a link: entries are links, files or empty folders.
void emptyFolder(const QByteArray& dir)
{
    DIR* d = ::opendir(dir.constData());
    require(d != nullptr);
    while (const dirent* e = ::readdir(d)) {
        const QByteArray name(e->d_name);
        if (name == "." || name == "..") continue;
        const QByteArray path = dir + '/' + name;
        struct stat st { };
        if (::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode))
            ::rmdir(path.constData());
        else
            ::unlink(path.constData());
    }
    ::closedir(d);
}

QByteArray entryName(Input& in)
{
    const quint8 b = in.byte();
    const QByteArray number = QByteArray::number(in.byte());
    switch (b % 8) {
    case 0:
        return "COM" + number;
    case 1:
        return "COM" + QByteArray::number(in.byte() * 4);
    case 2:
        return "COM0" + number;
    case 3:
        return "com" + number;
    case 4:
        return "COM" + number + static_cast<char>(in.byte() | 0x20);
    case 5: {
        QByteArray raw = in.take(1 + in.byte() % 8);
        raw.replace('/', '_').replace('\0', '_');
        return raw == "." || raw == ".." ? QByteArray("_") : raw;
    }
    case 6:
        return b & 8 ? "." + number : "COM" + number + ' ';
    default:
        return "COM" + QByteArray::number(1 + b / 8 % 16);
    }
}

// Creates one entry; a name that exists already is skipped, as a folder cannot hold it twice.
void makeEntry(Input& in, const QByteArray& name)
{
    const QByteArray path = native(g_fixture->ports) + '/' + name;
    const quint8 kind = in.byte();
    QByteArray target;
    switch (kind % 10) {
    case 0:
    case 1:
        target = native(g_fixture->ptys[kind % 2]);
        break;
    case 2:
        target = kind & 0x80 ? "/dev/null" : "/dev/zero";
        break;
    case 3:
        target = native(g_fixture->base) + "/missing";
        break;
    case 4:
        target = entryName(in); // another entry: a chain, a loop, or nothing yet
        break;
    case 5:
        target = name; // a link to itself
        break;
    case 6: {
        const int fd = ::open(path.constData(), O_CREAT | O_EXCL | O_WRONLY, 0600);
        if (fd >= 0) ::close(fd);
        return;
    }
    case 7:
        ::mkdir(path.constData(), 0700);
        return;
    case 8:
        target = native(g_fixture->base) + (kind & 0x80 ? "/folder" : "/file");
        break;
    default:
        target = "../" + native(QDir(g_fixture->ptys[0]).dirName()); // relative, resolved against the folder
        break;
    }
    ::symlink(target.constData(), path.constData());
}

QStringList systemDevices(Input& in)
{
    QStringList devices;
    const int count = in.byte() % 7;
    for (int i = 0; i < count; ++i) {
        const quint8 b = in.byte();
        switch (b % 6) {
        case 0:
            devices << g_fixture->ptys[b / 8 % 2];
            break;
        case 1:
            devices << g_fixture->ports + QStringLiteral("/COM%1").arg(1 + b / 8 % 16);
            break;
        case 2:
            devices << QStringLiteral("/dev/ttyS%1").arg(b / 8 % 4);
            break;
        case 3:
            devices << QStringLiteral("/dev/ttyUSB%1").arg(b / 8 % 12);
            break;
        case 4:
            devices << QStringLiteral("/dev/ttyACM%1").arg(b / 8);
            break;
        default:
            // Any text but NUL, which no device name holds (Qt refuses such paths outright, realpath() cuts them).
            devices << QString::fromUtf8(in.take(b / 8 % 12).replace('\0', '_'));
            break;
        }
    }
    return devices;
}

// The terminal a folder entry leads to, judged with realpath() and stat(): empty when it leads to none.
QString terminalOf(const QByteArray& entryPath)
{
    struct stat st { };
    if (::lstat(entryPath.constData(), &st) != 0 || !S_ISLNK(st.st_mode)) return {};
    char real[PATH_MAX];
    if (!::realpath(entryPath.constData(), real)) return {};
    const QString device = QFile::decodeName(real);
    return g_fixture->ptys.contains(device) ? device : QString(); // the only terminals the folder can lead to
}

QList<PortEntry> expectedLinks()
{
    static const QRegularExpression comName(QStringLiteral("\\ACOM([1-9][0-9]{0,2})\\z"));
    QList<PortEntry> links;
    const QByteArray dir = native(g_fixture->ports);
    DIR* d = ::opendir(dir.constData());
    require(d != nullptr);
    while (const dirent* e = ::readdir(d)) {
        const QString name = QFile::decodeName(e->d_name);
        const QRegularExpressionMatch match = comName.match(name);
        if (!match.hasMatch() || match.captured(1).toInt() > 255) continue;
        const QString device = terminalOf(dir + '/' + e->d_name);
        if (!device.isEmpty())
            links.append({ match.captured(1).toInt(), name, device, g_fixture->ports + QLatin1Char('/') + name });
    }
    ::closedir(d);
    return links;
}

int deviceRank(const QString& path)
{
    QString stem = QFileInfo(path).fileName();
    while (!stem.isEmpty() && stem.back().isDigit())
        stem.chop(1);
    const qsizetype known
        = QStringList { QStringLiteral("ttyS"), QStringLiteral("ttyUSB"), QStringLiteral("ttyACM") }.indexOf(stem);
    return known >= 0 ? static_cast<int>(known) : 3;
}

void checkMap(const QList<PortEntry>& ports, const QStringList& devices)
{
    int last = 0;
    for (const PortEntry& port : ports) {
        require(port.number > last && port.number <= 255 && port.name == QStringLiteral("COM%1").arg(port.number));
        last = port.number;
    }
    const QList<PortEntry> links = expectedLinks();
    QSet<int> taken;
    QSet<QString> named;
    for (const PortEntry& link : links) {
        require(ports.contains(link));
        taken.insert(link.number);
        named.insert(link.devicePath);
    }
    // Every other entry is a system device not named by a link, each device once, on the lowest free numbers.
    QSet<QString> expectedDevices;
    for (const QString& device : devices) {
        char real[PATH_MAX];
        const QString key = ::realpath(native(device).constData(), real) ? QFile::decodeName(real) : device;
        if (!named.contains(key)) expectedDevices.insert(key);
    }
    QSet<QString> mapped;
    int free = 0;
    int lastRank = 0;
    for (const PortEntry& port : ports) {
        if (taken.contains(port.number)) continue;
        require(port.origin == QLatin1String("system") && !mapped.contains(port.devicePath));
        mapped.insert(port.devicePath);
        while (taken.contains(++free)) { }
        require(port.number == free);
        const int rank = deviceRank(port.devicePath);
        require(rank >= lastRank);
        lastRank = rank;
    }
    require(mapped == expectedDevices);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    g_fixture = new Fixture;
    char base[] = "/tmp/orvik-fuzz-ports-XXXXXX";
    require(::mkdtemp(base) != nullptr);
    g_fixture->base = QFile::decodeName(base);
    g_fixture->ports = g_fixture->base + QStringLiteral("/ports");
    require(QDir().mkpath(g_fixture->ports) && QDir().mkpath(g_fixture->base + QStringLiteral("/folder")));
    QFile file(g_fixture->base + QStringLiteral("/file"));
    require(file.open(QIODevice::WriteOnly));
    for (auto& terminal : g_fixture->terminals) {
        terminal = std::make_unique<orvik::test::PtyDevice>();
        g_fixture->ptys << terminal->slavePath();
    }
    // A link to the first terminal next to the ports folder, for the relative targets.
    require(QFile::link(g_fixture->ptys[0], g_fixture->base + QLatin1Char('/') + QDir(g_fixture->ptys[0]).dirName()));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    emptyFolder(native(g_fixture->ports));
    Input in(data, size);
    const quint8 flags = in.byte();
    const int entries = in.byte() % 13;
    for (int i = 0; i < entries; ++i)
        makeEntry(in, entryName(in));
    const QStringList devices = systemDevices(in);
    try {
        checkMap(mapPorts(g_fixture->ports, devices), devices);
        // The machine's own enumeration is slow (about a second here: it probes every ttyS), so only inputs that
        // start with FF consult it.
        if (flags == 0xFF) {
            const QList<PortEntry> listed = listPorts(g_fixture->ports);
            require(listed == mapPorts(g_fixture->ports, systemSerialDevices()));
            const int n = in.byte() % 21; // 0 is never a port
            const std::optional<PortEntry> found = findPort(n, g_fixture->ports);
            const auto it
                = std::find_if(listed.begin(), listed.end(), [n](const PortEntry& p) { return p.number == n; });
            require(found ? it != listed.end() && *found == *it : it == listed.end());
        }
    } catch (...) {
        require(false); // the map never throws
    }
    return 0;
}
