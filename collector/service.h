// The collector as a service: the journal's priorities on stderr, systemd's notifications, signals from the event
// loop.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace orvik::collector {

// sd-daemon priorities: the journal keeps them when a line starts with "<n>".
enum class Priority { Error = 3, Warning = 4, Info = 6 };
void log(Priority priority, const QString& text);

// READY=1, WATCHDOG=1, STATUS=...: to $NOTIFY_SOCKET through libsystemd, nothing without it.
void notify(const QString& state);

// SIGTERM, SIGINT and SIGHUP, handed to `handler` from the event loop (a self-pipe; nothing runs in the signal
// handler but a write).
class SignalPipe {
public:
    explicit SignalPipe(std::function<void(int signal)> handler);
    ~SignalPipe();
    SignalPipe(const SignalPipe&) = delete;
    SignalPipe& operator=(const SignalPipe&) = delete;

private:
    std::function<void(int)> m_handler;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace orvik::collector
