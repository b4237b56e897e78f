#include "qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace orvik {

bool installQtTranslations(QCoreApplication& app)
{
    auto* translator = new QTranslator(&app);
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (QLocale().language() != QLocale::C
        && translator->load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"), folder)
        && app.installTranslator(translator))
        return true;
    delete translator;
    return false;
}

} // namespace orvik
