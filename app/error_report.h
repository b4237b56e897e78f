// The default report for failures that escape a handler, and the plain message box, both replaceable by tests.
#pragma once

#include <QString>
#include <functional>

namespace orvik {

using MessageSink = std::function<void(const QString& text)>;

// Shows text as an error box captioned with the application title. A full stop is added when the text does not end
// with one. While one such box is on screen, further failures are written to stderr instead of stacking boxes.
void reportFailure(const QString& text);
// Shows text in a plain box with an OK button, captioned with the application title.
void showMessage(const QString& text);

// Replace the boxes (tests record the texts instead of blocking on a modal box). An empty sink restores the default.
void setFailureSink(MessageSink sink);
void setMessageSink(MessageSink sink);

// Once the window is closing, no further box is shown.
void setBoxesSuppressed(bool suppressed);

QString withFullStop(const QString& text);

} // namespace orvik
