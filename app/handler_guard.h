// Exceptions stop at the handler boundary: a throw through Qt's event dispatch is undefined behaviour.
#pragma once

#include "error_report.h"

#include <QString>
#include <exception>

namespace orvik {

// Thrown by the message-pumping wait once the window is closing, to unwind the waiting handler silently.
struct HandlerAbandoned { };

// Runs one event handler; any failure that escapes it goes to the default report and the program keeps running.
template <class Handler> void guarded(Handler&& handler) noexcept
{
    try {
        handler();
    } catch (const HandlerAbandoned&) {
    } catch (const std::exception& failure) {
        reportFailure(QString::fromUtf8(failure.what()));
    } catch (...) {
        reportFailure(QStringLiteral("Unknown failure"));
    }
}

} // namespace orvik
