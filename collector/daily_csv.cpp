#include "daily_csv.h"

#include "distance_log.h"
#include "mqtt_feed.h"
#include "service.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

namespace orvik::collector {

namespace {

constexpr qsizetype kMaxPending = 64 * 1024 * 1024;

} // namespace

DailyCsv::DailyCsv(QString dir, QString line)
    : m_dir(std::move(dir))
    , m_line(topicLevel(line))
{
}

DailyCsv::~DailyCsv()
{
    flush();
}

QString DailyCsv::fileFor(const QDate& day) const
{
    return QDir(m_dir).filePath(QStringLiteral("%1-%2.csv").arg(m_line, day.toString(Qt::ISODate)));
}

void DailyCsv::add(qint64 wallMs, quint8 slave, std::optional<qint32> value)
{
    const QDate day = QDateTime::fromMSecsSinceEpoch(wallMs).date();
    if (day != m_day) {
        flush();
        if (!m_pending.isEmpty()) m_pending.clear(); // yesterday's file stayed unwritable: its rows are given up
        m_day = day;
    }
    if (m_pending.size() < kMaxPending) appendCsvRow(m_pending, wallMs, slave, value);
}

void DailyCsv::flush()
{
    if (m_pending.isEmpty()) return;
    QDir().mkpath(m_dir);
    QFile file(fileFor(m_day));
    const bool fresh = !file.exists() || file.size() == 0;
    const QByteArray out = fresh ? QByteArray(kDistanceCsvHeader) + m_pending : m_pending;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(out) != out.size() || !file.flush()) {
        if (!m_failing)
            log(Priority::Error, QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString()));
        m_failing = true;
        return;
    }
    if (m_failing) log(Priority::Info, QStringLiteral("writing %1 again").arg(file.fileName()));
    m_failing = false;
    m_pending.clear();
}

} // namespace orvik::collector
