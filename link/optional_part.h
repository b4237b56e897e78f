// Parts of the program installed beside it that load only when first used (the distance chart, the MQTT client), so
// a run that never opens the chart or publishes pays nothing at start-up for their libraries.
//
// A part is a Qt plugin module (`orvik_add_part` in CMake) with one instance implementing an interface declared with
// Q_DECLARE_INTERFACE. It stays loaded for the rest of the run.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

namespace orvik {

// Where parts are looked for, in order: $ORVIK_PARTS_DIR when set, the folder installed beside the program, and the
// build tree's parts folder (a program run from where it was built).
QStringList optionalPartDirs();

// The instance of the part `name` (a file name without ".so"), loaded on the first call. Null when the part is missing
// or fails to load; `error`, when given, then says which files were tried and why they failed.
QObject* loadOptionalPart(const QString& name, QString* error = nullptr);

template <class Interface> Interface* optionalPart(const QString& name, QString* error = nullptr)
{
    QObject* instance = loadOptionalPart(name, error);
    Interface* part = qobject_cast<Interface*>(instance);
    if (instance && !part && error)
        *error = QStringLiteral("%1: the part does not offer the interface this program expects").arg(name);
    return part;
}

// Whether a part's file is mapped into this process (true once it or anything it links has been loaded).
bool isLoadedInProcess(const QString& fileNamePart);

} // namespace orvik
