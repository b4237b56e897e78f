#include "display_only.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QVariant>
#include <QWidget>

namespace orvik {

namespace {

constexpr const char* kProperty = "displayOnly";

bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::FocusIn:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::HoverEnter:
    case QEvent::HoverMove:
    case QEvent::HoverLeave:
    case QEvent::Enter:
    case QEvent::Leave:
    case QEvent::InputMethod:
        return true;
    default:
        return false;
    }
}

class DisplayOnlyFilter final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

DisplayOnlyFilter* sharedFilter()
{
    // One filter for all display-only widgets of the application; it holds no state. The application owns it, so it
    // goes with the application (and a later application gets a new one).
    static QPointer<DisplayOnlyFilter> filter;
    if (!filter) filter = new DisplayOnlyFilter(QCoreApplication::instance());
    return filter;
}

void adopt(QWidget* widget)
{
    // A widget under construction reports QWidget here; its own constructor may then set a focus policy, which
    // is taken away again when the child is polished.
    widget->setFocusPolicy(Qt::NoFocus);
    widget->setProperty(kProperty, true);
    widget->removeEventFilter(sharedFilter());
    widget->installEventFilter(sharedFilter());
}

bool DisplayOnlyFilter::eventFilter(QObject*, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::ChildAdded || type == QEvent::ChildPolished) {
        QObject* child = static_cast<QChildEvent*>(event)->child();
        if (child->isWidgetType()) makeDisplayOnly(static_cast<QWidget*>(child));
        return false;
    }
    return isUserInput(type);
}

} // namespace

void makeDisplayOnly(QWidget* widget)
{
    adopt(widget);
    for (QWidget* child : widget->findChildren<QWidget*>())
        adopt(child);
}

bool isDisplayOnly(const QWidget* widget)
{
    return widget->property(kProperty).toBool();
}

} // namespace orvik
