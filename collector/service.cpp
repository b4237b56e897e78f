#include "service.h"

#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

namespace orvik::collector {

namespace {

int g_pipe[2] = { -1, -1 };

void onSignal(int signal)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

} // namespace

// The journal (and anything reading a pipe) takes the priority from a "<N>" prefix; a person at a terminal reads the
// line without it.
void log(Priority priority, const QString& text)
{
    static const bool toTerminal = ::isatty(STDERR_FILENO) == 1;
    if (toTerminal)
        std::fprintf(stderr, "%s\n", text.toUtf8().constData());
    else
        std::fprintf(stderr, "<%d>%s\n", static_cast<int>(priority), text.toUtf8().constData());
    std::fflush(stderr);
}

void notify(const QString& state)
{
    sd_notify(0, state.toUtf8().constData());
}

SignalPipe::SignalPipe(std::function<void(int)> handler)
    : m_handler(std::move(handler))
{
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    m_notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] {
        unsigned char byte = 0;
        while (::read(g_pipe[0], &byte, 1) == 1)
            m_handler(byte);
    });
    struct sigaction action { };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : { SIGTERM, SIGINT, SIGHUP })
        ::sigaction(signal, &action, nullptr);
}

SignalPipe::~SignalPipe()
{
    for (const int signal : { SIGTERM, SIGINT, SIGHUP })
        ::signal(signal, SIG_DFL);
    m_notifier.reset();
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
}

} // namespace orvik::collector
