#include "page_control.h"

#include <QEvent>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStyleOptionTabWidgetFrame>
#include <QStylePainter>
#include <QTabBar>

#include "accessible_kinds.h"
#include "align.h"

namespace orvik {

namespace {

// The page area sits inside a 4 px frame below a 24 px tab strip.
constexpr int kFrame = 4;
constexpr int kTabStrip = 24;
// The frame's outline starts 2 px above the page area, so the selected tab joins it.
constexpr int kFrameTop = kTabStrip - 2;
constexpr int kTabIndent = 2;

} // namespace

PageControl::PageControl(QWidget* parent)
    : QWidget(parent)
    , m_tabs(new QTabBar(this))
{
    installAccessibleKinds();
    setFocusPolicy(Qt::NoFocus);
    setContentsMargins(kFrame, kTabStrip, kFrame, kFrame);
    m_tabs->setObjectName(QStringLiteral("tabStrip"));
    m_tabs->setFocusPolicy(Qt::StrongFocus);
    m_tabs->setDrawBase(false);
    m_tabs->setExpanding(false);
    m_tabs->installEventFilter(this);
    connect(m_tabs, &QTabBar::currentChanged, this, [this] {
        showActivePage();
        emit changed();
    });
    auto* next = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab), this, [this] { stepPage(1); });
    auto* previous = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), this, [this] { stepPage(-1); });
    next->setContext(Qt::WidgetWithChildrenShortcut);
    previous->setContext(Qt::WidgetWithChildrenShortcut);
}

void PageControl::addPage(QWidget* page, const QString& caption)
{
    page->setParent(this);
    // A page has the window's colour; the style's pane fill would otherwise show through.
    page->setAutoFillBackground(true);
    m_pages.append(page);
    {
        // Adding the first tab makes it current: that is not a change by the user.
        const QSignalBlocker blocker(m_tabs);
        m_tabs->addTab(caption);
    }
    setAlign(page, Align::Client);
    showActivePage();
}

QWidget* PageControl::page(int index) const
{
    return m_pages.value(index);
}

QString PageControl::caption(int index) const
{
    return m_tabs->tabText(index);
}

int PageControl::activePageIndex() const
{
    return m_tabs->currentIndex();
}

void PageControl::setActivePageIndex(int index)
{
    if (index < 0 || index >= pageCount()) return;
    const QSignalBlocker blocker(m_tabs);
    m_tabs->setCurrentIndex(index);
    showActivePage();
}

void PageControl::showActivePage()
{
    const int active = m_tabs->currentIndex();
    // Show the new page before hiding the old one, so a focused control on the old page hands the focus on
    // within the window rather than losing it.
    if (QWidget* shown = page(active)) shown->setVisible(true);
    for (int i = 0; i < pageCount(); ++i) {
        if (i != active) m_pages[i]->setVisible(false);
    }
}

void PageControl::stepPage(int delta)
{
    if (pageCount() > 1) m_tabs->setCurrentIndex((activePageIndex() + delta + pageCount()) % pageCount());
}

void PageControl::resizeEvent(QResizeEvent* event)
{
    m_tabs->setGeometry(kTabIndent, 0, width() - 2 * kTabIndent, kTabStrip);
    QWidget::resizeEvent(event);
}

// The tab strip ignores the mouse wheel: turning it over the tabs must not switch pages behind the user's back.
bool PageControl::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_tabs && event->type() == QEvent::Wheel) return true;
    return QWidget::eventFilter(watched, event);
}

void PageControl::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionTabWidgetFrame frame;
    frame.initFrom(this);
    frame.rect = QRect(0, kFrameTop, width(), height() - kFrameTop);
    frame.shape = QTabBar::RoundedNorth;
    frame.tabBarSize = m_tabs->sizeHint();
    frame.tabBarRect = m_tabs->geometry();
    frame.selectedTabRect = m_tabs->tabRect(m_tabs->currentIndex()).translated(m_tabs->pos());
    painter.drawPrimitive(QStyle::PE_FrameTabWidget, frame);
}

} // namespace orvik
