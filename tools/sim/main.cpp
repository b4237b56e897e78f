// orvik-sim: a line of Modbus RTU distance sensors on a pseudo-terminal, for trying the monitor without hardware.
#include "sim_options.h"
#include "sim_session.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/signalfd.h>
#include <unistd.h>

using namespace orvik::sim;

namespace {

// Termination signals arrive as readable bytes on a signalfd, so the link is removed from the event loop, not from
// inside a signal handler. They must be blocked before any thread starts, or another thread would take them.
int blockTerminationSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int sig : { SIGINT, SIGTERM, SIGHUP })
        sigaddset(&set, sig);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    return signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
}

void printTo(std::FILE* stream, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    if (!text.endsWith(u'\n')) std::fputc('\n', stream);
}

} // namespace

int main(int argc, char* argv[])
{
    const int signalFd = blockTerminationSignals();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvik-sim"));

    ParsedOptions parsed = parseOptions(QCoreApplication::arguments());
    if (!parsed.options) {
        printTo(parsed.help ? stdout : stderr, parsed.message);
        return parsed.help ? 0 : 2;
    }
    SimOptions options = *parsed.options;
    if (!options.seedGiven) options.seed = QRandomGenerator::system()->generate64();

    SimSession session(options);
    QString error;
    if (!session.start(&error)) {
        printTo(stderr, QStringLiteral("orvik-sim: %1").arg(error));
        return 1;
    }
    QObject::connect(&session, &SimSession::finished, &app, &QCoreApplication::quit, Qt::QueuedConnection);

    QSocketNotifier signalNotifier(signalFd, QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &session, [&session, signalFd] {
        signalfd_siginfo info {};
        if (::read(signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
            session.stop(QStringLiteral("signal %1")
                             .arg(QString::fromLocal8Bit(sigabbrev_np(static_cast<int>(info.ssi_signo)))));
    });
    return app.exec();
}
