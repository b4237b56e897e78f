// The debug memo: an editable plain-text log that keeps every logged frame as its own line, with its receive time.
#pragma once

#include <QList>
#include <QPlainTextEdit>
#include <functional>
#include <optional>

namespace orvik {

// One text block per line would cost about 750 bytes a line (block, fragment and a text layout each); a week of polls
// would then hold hundreds of MiB. So the log fills each block with up to kLinesPerBlock lines joined by
// QChar::LineSeparator, which draws, wraps, copies and reads back as a line break of its own. Every line's receive
// time is kept beside the document in a few bytes, with a short hash of its text so that lines typed or changed by
// hand are told apart from the logged ones when the log is saved.
class LogMemo : public QPlainTextEdit {
    Q_OBJECT

public:
    static constexpr int kLinesPerBlock = 16;

    using Clock = std::function<qint64()>; // milliseconds since the epoch
    using LineVisitor = std::function<void(QStringView line, std::optional<qint64> msSinceEpoch)>;

    explicit LogMemo(QWidget* parent = nullptr);

    // Appends text as one new line at the end, stamped with the clock. The view follows the end when it was there.
    void appendLine(const QString& text);
    // Empties the memo and forgets every time.
    void clear();
    // Visits every line as the memo shows it, with its receive time; lines typed or changed by hand have none.
    void visitLines(const LineVisitor& visit) const;
    // The lines as toPlainText() splits them; an empty memo has none, one empty logged frame is one empty line.
    QStringList lines() const;
    void setClock(Clock clock);

signals:
    // The user asked for the log in a file (the context menu's save entry).
    void saveRequested();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    struct Group {
        qint64 baseMs; // receive time of the group's first line
        qint32 firstLine; // index of that line in m_offsets
    };

    bool tailIsOpenGroup(quint32& offset, qint64 now) const;
    void startGroup(QTextCursor& end, qint64 now, bool newBlock);
    qint64 timeOf(qsizetype line) const;

    Clock m_clock;
    QList<Group> m_groups; // one per block the log started; a block's userState is its group's index
    QList<quint32> m_offsets; // per logged line: ms after its group's base
    QList<quint16> m_hashes; // per logged line: a short hash of its text
    int m_tailLines = 0; // lines logged into the last group
    bool m_holdsEmptyLine = false; // the empty document stands for one logged empty line
    bool m_showCursorOnShow = false;
};

} // namespace orvik
