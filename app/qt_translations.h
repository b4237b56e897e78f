// Qt's own translations (Undo, Copy, Select All... in the standard context menus) for the user's language.
#pragma once

class QCoreApplication;

namespace orvik {

// Loads qtbase for the default locale from Qt's translations folder; under the C locale, or without the file,
// Qt's texts stay as Qt ships them. Returns whether a translation was installed.
bool installQtTranslations(QCoreApplication& app);

} // namespace orvik
