// The real window on the real serial control, facing orvik-sim with its fault options: starting the line, reading
// its log back, driving the window as a user would, and measuring the process.
#pragma once

#include "form_probe.h"
#include "sim_harness.h"
#include "wire_kit.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <memory>
#include <sys/resource.h>

namespace orvik::reltest {

using test::crcValid;
using test::withCrc;

// One line of the simulator's log: "<s.mmm> <RX|TX|RATE> <baud> <hex bytes> <note>".
struct LineRecord {
    QString kind;
    int baud = 0;
    QByteArray bytes;
    QString note;
};

inline LineRecord parseLogLine(const QString& line)
{
    static const QRegularExpression hexPair(QStringLiteral("\\A[0-9A-F]{2}\\z"));
    const QStringList words = line.split(QLatin1Char(' '));
    LineRecord record;
    if (words.size() < 3) return record;
    record.kind = words[1];
    record.baud = words[2].toInt();
    qsizetype i = 3;
    for (; i < words.size() && hexPair.match(words[i]).hasMatch(); ++i)
        record.bytes.append(static_cast<char>(words[i].toInt(nullptr, 16)));
    record.note = words.mid(i).join(QLatin1Char(' '));
    return record;
}

// orvik-sim registered under one COM name in a ports folder, writing its line log to a file.
class SimLine {
public:
    SimLine(QString portsDir, QString port)
        : m_portsDir(std::move(portsDir))
        , m_port(std::move(port))
    {
    }

    bool start(const QStringList& options)
    {
        m_run = std::make_unique<simtest::SimRun>(m_portsDir);
        ++m_starts;
        m_logPath = m_portsDir + QStringLiteral("/../%1-%2.log").arg(m_port).arg(m_starts);
        return m_run->start(
            QStringList { QStringLiteral("--port"), m_port, QStringLiteral("--log"), m_logPath } + options);
    }
    void stop() { m_run.reset(); }
    bool finished() const { return !m_run || m_run->finished(); }
    bool waitForExit(int ms) { return m_run && m_run->waitForExit(ms); }

    // Every record of the current run, or only those of one kind.
    QList<LineRecord> records(const QString& kind = {}) const
    {
        QFile file(m_logPath);
        QList<LineRecord> list;
        if (!file.open(QIODevice::ReadOnly)) return list;
        for (const QByteArray& line : file.readAll().split('\n')) {
            const LineRecord record = parseLogLine(QString::fromUtf8(line));
            if (!record.kind.isEmpty() && (kind.isEmpty() || record.kind == kind)) list << record;
        }
        return list;
    }
    // The replies the devices sent: TX records other than the adapter's echo of a request.
    QList<LineRecord> replies() const
    {
        QList<LineRecord> list = records(QStringLiteral("TX"));
        list.removeIf([](const LineRecord& r) { return r.note.startsWith(QLatin1String("adapter echo")); });
        return list;
    }
    QString port() const { return m_port; }
    QString linkPath() const { return m_portsDir + QLatin1Char('/') + m_port; }

private:
    QString m_portsDir;
    QString m_port;
    QString m_logPath;
    int m_starts = 0;
    std::unique_ptr<simtest::SimRun> m_run;
};

// Serves events until done() holds, without the polling step of QTRY_* (a poll every 10 to 50 ms would dominate
// runs of hundreds of polls). The wake timer only makes sure the deadline is seen on a quiet line.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QTimer wake;
    wake.start(20);
    while (!done()) {
        if (deadline.hasExpired()) return done();
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

inline QStringList memoLines(TForm1Probe& probe)
{
    const QString text = probe.ui().Memo1->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}
inline int memoLineCount(TForm1Probe& probe)
{
    return static_cast<int>(probe.ui().Memo1->lines().size());
}

// The memo line of a frame: each byte as two capital digits and a blank.
inline QString memoLine(const QByteArray& bytes)
{
    return bytes.isEmpty() ? QString() : wireHex(bytes) + QLatin1Char(' ');
}

// Opens the port list as a user does, picks the port and clicks connect; returns once the search has ended.
inline bool chooseAndConnect(TForm1Probe& probe, const QString& port)
{
    probe.ComboBox1DropDown();
    const int index = probe.ui().ComboBox1->findText(port);
    if (index < 0) return false;
    probe.ui().ComboBox1->setItemIndex(index);
    probe.Button1Click();
    return probe.DeviceFound();
}

// Four bytes from offset as one signed 32-bit value, most significant first.
inline qint32 bigEndian32(const QByteArray& frame, int offset)
{
    quint32 v = 0;
    for (int i = 0; i < 4; ++i)
        v = (v << 8) | (offset + i < frame.size() ? static_cast<quint8>(frame[offset + i]) : 0U);
    return static_cast<qint32>(v);
}

// CPU time of this process (user + system), in milliseconds.
inline qint64 cpuMs()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return (qint64 { usage.ru_utime.tv_sec } + usage.ru_stime.tv_sec) * 1000
        + (qint64 { usage.ru_utime.tv_usec } + usage.ru_stime.tv_usec) / 1000;
}

// Resident memory of this process in KiB, from /proc.
inline qint64 rssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// A private ports folder for the window and the simulator, named to the window through ORVIK_PORTS_DIR.
class PortsFolder {
public:
    PortsFolder()
        : m_dir(std::make_unique<QTemporaryDir>())
    {
        QDir().mkpath(path());
        qputenv("ORVIK_PORTS_DIR", path().toLocal8Bit());
    }
    QString path() const { return m_dir->filePath(QStringLiteral("ports")); }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

} // namespace orvik::reltest
