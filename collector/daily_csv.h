// One CSV file a day in a folder: the export's format, an unanswered poll kept as a row with no distance.
#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>
#include <optional>

namespace orvik::collector {

class DailyCsv {
public:
    DailyCsv(QString dir, QString line);
    ~DailyCsv();

    // The row goes to the file of the sample's local day at the next flush().
    void add(qint64 wallMs, quint8 slave, std::optional<qint32> value);
    // Appends what was added (once a cycle). A file that cannot be written is reported once, until it can again;
    // its rows are kept for the next try, up to a day's worth.
    void flush();

    // <dir>/<line>-2026-12-10.csv
    QString fileFor(const QDate& day) const;

private:
    QString m_dir;
    QString m_line;
    QDate m_day;
    QByteArray m_pending;
    bool m_failing = false;
};

} // namespace orvik::collector
