// What the debug memo tells accessibility tools: its text with one line per logged frame. Qt's own interface for a
// plain-text edit hands out the document's raw characters, in which the log's in-block line breaks are U+2028.
#include "log_memo.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QTextBlock>
#include <QTextCursor>

namespace orvik {
namespace {

QString withLineBreaks(QString text)
{
    for (QChar& c : text)
        if (c == QChar::LineSeparator || c == QChar::ParagraphSeparator) c = QLatin1Char('\n');
    return text;
}

class LogMemoAccessible final : public QAccessibleWidget,
                                public QAccessibleTextInterface,
                                public QAccessibleEditableTextInterface {
public:
    explicit LogMemoAccessible(LogMemo* memo)
        : QAccessibleWidget(memo, QAccessible::EditableText)
    {
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        if (type == QAccessible::EditableTextInterface && !memo()->isReadOnly())
            return static_cast<QAccessibleEditableTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value) return memo()->toPlainText();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.multiLine = true;
        s.editable = !memo()->isReadOnly();
        s.readOnly = memo()->isReadOnly();
        s.selectableText = true;
        return s;
    }

    // Text.
    QString text(int startOffset, int endOffset) const override
    {
        QTextCursor c = cursorAt(startOffset);
        c.setPosition(clamp(endOffset), QTextCursor::KeepAnchor);
        return withLineBreaks(c.selectedText());
    }
    int characterCount() const override { return memo()->document()->characterCount() - 1; }
    int cursorPosition() const override { return memo()->textCursor().position(); }
    void setCursorPosition(int position) override { memo()->setTextCursor(cursorAt(position)); }
    int selectionCount() const override { return memo()->textCursor().hasSelection() ? 1 : 0; }
    void selection(int index, int* startOffset, int* endOffset) const override
    {
        const QTextCursor c = memo()->textCursor();
        const bool has = index == 0 && c.hasSelection();
        *startOffset = has ? c.selectionStart() : 0;
        *endOffset = has ? c.selectionEnd() : 0;
    }
    void addSelection(int startOffset, int endOffset) override { setSelection(0, startOffset, endOffset); }
    void removeSelection(int) override
    {
        QTextCursor c = memo()->textCursor();
        c.clearSelection();
        memo()->setTextCursor(c);
    }
    void setSelection(int, int startOffset, int endOffset) override
    {
        QTextCursor c = cursorAt(startOffset);
        c.setPosition(clamp(endOffset), QTextCursor::KeepAnchor);
        memo()->setTextCursor(c);
    }
    QRect characterRect(int offset) const override
    {
        const QRect r = memo()->cursorRect(cursorAt(offset));
        return { memo()->viewport()->mapToGlobal(r.topLeft()),
            QSize(memo()->fontMetrics().averageCharWidth(), r.height()) };
    }
    int offsetAtPoint(const QPoint& point) const override
    {
        return memo()->cursorForPosition(memo()->viewport()->mapFromGlobal(point)).position();
    }
    void scrollToSubstring(int startIndex, int endIndex) override
    {
        setSelection(0, startIndex, endIndex);
        memo()->ensureCursorVisible();
    }
    QString attributes(int offset, int* startOffset, int* endOffset) const override
    {
        *startOffset = *endOffset = offset;
        return {};
    }

    // Editing.
    void deleteText(int startOffset, int endOffset) override { replaceText(startOffset, endOffset, {}); }
    void insertText(int offset, const QString& text) override { replaceText(offset, offset, text); }
    void replaceText(int startOffset, int endOffset, const QString& text) override
    {
        QTextCursor c = cursorAt(startOffset);
        c.setPosition(clamp(endOffset), QTextCursor::KeepAnchor);
        c.insertText(text);
    }

private:
    LogMemo* memo() const { return static_cast<LogMemo*>(widget()); }
    int clamp(int offset) const { return std::clamp(offset, 0, characterCount()); }
    QTextCursor cursorAt(int offset) const
    {
        QTextCursor c(memo()->document());
        c.setPosition(clamp(offset));
        return c;
    }
};

} // namespace

QAccessibleInterface* logMemoAccessible(LogMemo* memo)
{
    return new LogMemoAccessible(memo);
}

} // namespace orvik
