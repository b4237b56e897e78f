#include "log_memo.h"

#include "accessible_kinds.h"

#include <QContextMenuEvent>
#include <QDateTime>
#include <QMenu>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <algorithm>
#include <limits>

namespace orvik {

namespace {

quint16 lineHash(QStringView line)
{
    const size_t h = qHash(line);
    return static_cast<quint16>(h ^ (h >> 16) ^ (h >> 32) ^ (h >> 48));
}

} // namespace

LogMemo::LogMemo(QWidget* parent)
    : QPlainTextEdit(parent)
    , m_clock([] { return QDateTime::currentMSecsSinceEpoch(); })
{
    installAccessibleKinds();
}

void LogMemo::setClock(Clock clock)
{
    m_clock = std::move(clock);
}

// The last block is the log's open group when it still carries the last group's mark, has room, and the time still
// fits the group's 32-bit offsets (49 days).
bool LogMemo::tailIsOpenGroup(quint32& offset, qint64 now) const
{
    if (m_groups.isEmpty() || m_tailLines >= kLinesPerBlock) return false;
    if (document()->lastBlock().userState() != m_groups.size() - 1) return false;
    const qint64 after = now - m_groups.constLast().baseMs;
    if (after < 0 || after > std::numeric_limits<quint32>::max()) return false;
    offset = static_cast<quint32>(after);
    return true;
}

void LogMemo::startGroup(QTextCursor& end, qint64 now, bool newBlock)
{
    if (newBlock) end.insertBlock();
    end.block().setUserState(static_cast<int>(m_groups.size()));
    m_groups.append({ now, static_cast<qint32>(m_offsets.size()) });
    m_tailLines = 0;
}

void LogMemo::appendLine(const QString& text)
{
    const qint64 now = m_clock();
    QScrollBar* bar = verticalScrollBar();
    const bool follow = isVisible() && bar->value() >= bar->maximum();
    if (!isVisible()) m_showCursorOnShow = true;

    QTextDocument* doc = document();
    QTextCursor end(doc);
    end.movePosition(QTextCursor::End);
    quint32 offset = 0;
    if (doc->isEmpty() && !m_holdsEmptyLine) {
        startGroup(end, now, false);
        end.insertText(text);
    } else if (tailIsOpenGroup(offset, now)) {
        end.insertText(QChar(QChar::LineSeparator) + text);
    } else {
        startGroup(end, now, true);
        end.insertText(text);
    }
    // An empty document cannot show one empty line by itself: remember that it does.
    m_holdsEmptyLine = doc->isEmpty();
    m_offsets.append(offset);
    m_hashes.append(lineHash(text));
    ++m_tailLines;
    if (follow) bar->setValue(bar->maximum());
}

void LogMemo::clear()
{
    QPlainTextEdit::clear();
    m_groups = {};
    m_offsets = {};
    m_hashes = {};
    m_tailLines = 0;
    m_holdsEmptyLine = false;
}

qint64 LogMemo::timeOf(qsizetype line) const
{
    const auto group = std::upper_bound(m_groups.cbegin(), m_groups.cend(), line, [](qsizetype l, const Group& g) {
        return l < g.firstLine;
    }) - 1;
    return group->baseMs + m_offsets[line];
}

// Matches the lines in order against the logged ones, each within one block's reach of the last match. A block the
// log started jumps ahead to its group when its first line is still that group's first line. Deleting a line break
// by hand joins two blocks, and the joined block keeps the later block's mark: its head then belongs to the block
// before, so it continues from there. A line no logged line matches was typed or changed by hand.
void LogMemo::visitLines(const LineVisitor& visit) const
{
    if (document()->isEmpty() && !m_holdsEmptyLine) return;
    const qsizetype logged = m_offsets.size();
    qsizetype next = 0;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        const int group = block.userState();
        const QString text = block.text();
        if (group >= 0 && group < m_groups.size()) {
            const qsizetype first = m_groups[group].firstLine;
            const QStringView head = QStringView(text).left(text.indexOf(QChar(QChar::LineSeparator)));
            if (first >= next && m_hashes[first] == lineHash(head)) next = first;
        }
        for (QStringView line : QStringView(text).tokenize(QChar(QChar::LineSeparator))) {
            std::optional<qint64> time;
            const quint16 hash = lineHash(line);
            const qsizetype reach = std::min(logged, next + kLinesPerBlock);
            for (qsizetype i = next; i < reach; ++i) {
                if (m_hashes[i] != hash) continue;
                time = timeOf(i);
                next = i + 1;
                break;
            }
            visit(line, time);
        }
    }
}

QStringList LogMemo::lines() const
{
    QStringList result;
    visitLines([&](QStringView line, std::optional<qint64>) { result << line.toString(); });
    return result;
}

// Qt's own menu, with the save entry below it. Shown like Qt shows it: a popup that deletes itself.
void LogMemo::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = createStandardContextMenu(event->pos());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addSeparator();
    QAction* save = menu->addAction(QStringLiteral("保存调试信息..."));
    save->setObjectName(QStringLiteral("saveDebugLog"));
    connect(save, &QAction::triggered, this, &LogMemo::saveRequested);
    menu->popup(event->globalPos());
}

// A line logged while the memo was hidden brings the caret into view when it shows again, as appendPlainText does.
void LogMemo::showEvent(QShowEvent* event)
{
    QPlainTextEdit::showEvent(event);
    if (!m_showCursorOnShow) return;
    m_showCursorOnShow = false;
    ensureCursorVisible();
}

} // namespace orvik
