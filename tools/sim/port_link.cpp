#include "port_link.h"

#include <QDir>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace orvik::sim {

namespace {

QString readLink(const QByteArray& path)
{
    char buffer[4096];
    const ssize_t n = ::readlink(path.constData(), buffer, sizeof buffer - 1);
    return n > 0 ? QString::fromLocal8Bit(buffer, n) : QString();
}

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

bool PortLink::claim(const QString& dir, const QString& name, const QString& target, bool force, QString* error)
{
    if (!QDir().mkpath(dir)) {
        *error = QStringLiteral("cannot create the ports folder %1").arg(dir);
        return false;
    }
    const QString path = QDir(dir).filePath(name);
    const QByteArray native = QFile::encodeName(path);
    struct stat info { };
    if (::lstat(native.constData(), &info) == 0) {
        if (!S_ISLNK(info.st_mode)) {
            *error = QStringLiteral("%1 exists and is not a link; not touching it").arg(path);
            return false;
        }
        struct stat device { };
        const bool live = ::stat(native.constData(), &device) == 0;
        if (live && !force) {
            *error = QStringLiteral("%1 -> %2 is a live line of another process (use --force to take it over)")
                         .arg(path, readLink(native));
            return false;
        }
    }
    // Made under a private name and renamed over, so that the monitor never sees the name missing or half made.
    const QByteArray temporary
        = QFile::encodeName(QDir(dir).filePath(QStringLiteral(".%1.%2").arg(name).arg(::getpid())));
    ::unlink(temporary.constData());
    if (::symlink(QFile::encodeName(target).constData(), temporary.constData()) != 0
        || ::rename(temporary.constData(), native.constData()) != 0) {
        *error = QStringLiteral("cannot create the link %1: %2").arg(path, errnoText());
        ::unlink(temporary.constData());
        return false;
    }
    m_path = path;
    m_target = target;
    return true;
}

void PortLink::release()
{
    if (m_path.isEmpty()) return;
    const QByteArray native = QFile::encodeName(m_path);
    if (readLink(native) == m_target) ::unlink(native.constData());
    m_path.clear();
}

} // namespace orvik::sim
