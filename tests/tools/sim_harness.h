// Starting orvik-sim and talking to its line from a test, the way the monitor does: the sim gets a private ports
// folder through ORVIK_PORTS_DIR and is ready once its banner line is out (the port link is made just before it).
#pragma once

#include "line_port.h"

#include <QProcess>
#include <QTest>

namespace orvik::simtest {

inline constexpr int kStartMs = 20000; // generous: the machine is shared and the binary may run under sanitizers

// The test binary names the program it was built with; elsewhere orvik-sim is taken from PATH.
inline QString simProgram()
{
#ifdef ORVIK_SIM_PATH
    return QStringLiteral(ORVIK_SIM_PATH);
#else
    return QStringLiteral("orvik-sim");
#endif
}

// One orvik-sim process with its own ports folder. Ready once its banner is out: the link is made before it.
class SimRun {
public:
    explicit SimRun(const QString& portsDir, const QString& program = simProgram())
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ORVIK_PORTS_DIR"), portsDir);
        m_process.setProcessEnvironment(env);
        m_process.setProgram(program);
    }
    ~SimRun()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(5000)) m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    bool start(const QStringList& args)
    {
        m_process.setArguments(args);
        m_process.start();
        const bool ready
            = QTest::qWaitFor([this] { return output().contains(u"orvik-sim: ") || finished(); }, kStartMs);
        return ready && !finished();
    }
    QString output()
    {
        m_out += QString::fromUtf8(m_process.readAllStandardOutput());
        return m_out;
    }
    bool waitForOutput(const QString& text, int ms = 5000)
    {
        return QTest::qWaitFor([&] { return output().contains(text); }, ms);
    }
    bool finished() const { return m_process.state() == QProcess::NotRunning; }
    bool waitForExit(int ms = 10000)
    {
        return QTest::qWaitFor([this] { return finished(); }, ms);
    }
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
    QString m_out;
};

} // namespace orvik::simtest
