#include "optional_part.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPluginLoader>

namespace orvik {

QStringList optionalPartDirs()
{
    QStringList dirs;
    const QString fromEnvironment = qEnvironmentVariable("ORVIK_PARTS_DIR");
    if (!fromEnvironment.isEmpty()) dirs << fromEnvironment;
    const QString programDir = QCoreApplication::applicationDirPath();
    if (!programDir.isEmpty())
        dirs << QDir::cleanPath(programDir + QLatin1Char('/') + QStringLiteral(ORVIK_PARTS_RELATIVE_DIR));
    dirs << QStringLiteral(ORVIK_PARTS_BUILD_DIR);
    dirs.removeDuplicates();
    return dirs;
}

QObject* loadOptionalPart(const QString& name, QString* error)
{
    QStringList failures;
    for (const QString& dir : optionalPartDirs()) {
        const QString path = dir + QLatin1Char('/') + name + QStringLiteral(".so");
        if (!QFileInfo::exists(path)) continue;
        // Qt keeps one instance per library, so loading again returns the instance already made.
        QPluginLoader loader(path);
        if (QObject* instance = loader.instance()) return instance;
        failures << QStringLiteral("%1: %2").arg(path, loader.errorString());
    }
    if (error) {
        *error = failures.isEmpty()
            ? QStringLiteral("%1.so is in none of %2").arg(name, optionalPartDirs().join(QStringLiteral(", ")))
            : failures.join(QStringLiteral("; "));
    }
    return nullptr;
}

bool isLoadedInProcess(const QString& fileNamePart)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly)) return false;
    return maps.readAll().contains(fileNamePart.toUtf8());
}

} // namespace orvik
