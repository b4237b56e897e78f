// Files the user asks for: the file dialog (replaceable by tests) and writing a file in one piece.
#pragma once

#include <QString>
#include <functional>

class QIODevice;
class QWidget;

namespace orvik {

class LogMemo;

// Returns the chosen path, or an empty string when the user cancels.
using SaveFileChooser = std::function<QString(const QString& caption, const QString& suggestedName)>;
// Replace the dialog (tests give a path instead of a modal dialog). An empty chooser restores the dialog.
void setSaveFileChooser(SaveFileChooser chooser);
QString chooseSaveFile(QWidget* parent, const QString& caption, const QString& suggestedName, const QString& filter);

// Writes the file through QSaveFile: it appears whole or not at all, and an earlier file of that name survives a
// failure. A failure shows a message naming the file and the reason; returns whether the file was written.
bool saveAtomically(const QString& path, const std::function<bool(QIODevice&)>& write);

// The debug log: every memo line as "YYYY-MM-DD HH:MM:SS.mmm<TAB>text" in local time, lines typed by hand as they
// stand, one per line in UTF-8. Asks for the file; the memo is left as it is whatever happens.
void saveDebugLog(const LogMemo& memo, QWidget* parent);

} // namespace orvik
