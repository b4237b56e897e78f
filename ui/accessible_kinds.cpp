#include "accessible_kinds.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLineEdit>

#include "bevel_panel.h"
#include "image_view.h"
#include "log_memo.h"
#include "page_control.h"
#include "status_bar.h"
#include "up_down.h"

namespace orvik {

// The memo reads as one frame a line (log_memo_accessible.cpp).
QAccessibleInterface* logMemoAccessible(LogMemo* memo);

namespace {

// A widget whose name is a text it shows: a name set with setAccessibleName() still takes precedence.
class NamedWidget : public QAccessibleWidget {
public:
    NamedWidget(QWidget* widget, QAccessible::Role role, QString (*shown)(const QWidget*))
        : QAccessibleWidget(widget, role)
        , m_shown(shown)
    {
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) return m_shown(widget());
        return QAccessibleWidget::text(t);
    }

private:
    QString (*m_shown)(const QWidget*);
};

// A caption panel reads as a label with its caption; one that holds other controls is a plain container, its
// caption covered by them.
class PanelAccessible final : public NamedWidget {
public:
    explicit PanelAccessible(BevelPanel* panel)
        : NamedWidget(panel, QAccessible::StaticText,
            [](const QWidget* w) { return static_cast<const BevelPanel*>(w)->caption(); })
    {
    }
    QAccessible::Role role() const override
    {
        const bool holdsControls = !widget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).isEmpty();
        return holdsControls ? QAccessible::Pane : QAccessible::StaticText;
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && role() == QAccessible::Pane) return widget()->accessibleName();
        return NamedWidget::text(t);
    }
};

class ImageAccessible final : public NamedWidget, public QAccessibleImageInterface {
public:
    explicit ImageAccessible(ImageView* view)
        : NamedWidget(view, QAccessible::Graphic,
            [](const QWidget* w) { return static_cast<const ImageView*>(w)->description(); })
    {
    }
    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ImageInterface) return static_cast<QAccessibleImageInterface*>(this);
        return NamedWidget::interface_cast(type);
    }
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Description ? imageDescription() : NamedWidget::text(t);
    }
    QString imageDescription() const override { return view()->description(); }
    QSize imageSize() const override { return view()->image().size(); }
    QPoint imagePosition() const override { return rect().topLeft(); }

private:
    const ImageView* view() const { return static_cast<const ImageView*>(widget()); }
};

// Gives a screen reader the position as the control's value and the stepped field's name as its own.
class UpDownAccessible final : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit UpDownAccessible(UpDown* upDown)
        : QAccessibleWidget(upDown, QAccessible::SpinBox)
    {
    }
    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value) return QString::number(upDown()->position());
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty() && upDown()->associate()) {
            if (QAccessibleInterface* field = QAccessible::queryAccessibleInterface(upDown()->associate()))
                return field->text(QAccessible::Name);
        }
        return QAccessibleWidget::text(t);
    }
    QVariant currentValue() const override { return upDown()->position(); }
    void setCurrentValue(const QVariant& value) override { upDown()->setPosition(value.toInt()); }
    QVariant maximumValue() const override { return upDown()->maximum(); }
    QVariant minimumValue() const override { return upDown()->minimum(); }
    QVariant minimumStepSize() const override { return 1; }

private:
    UpDown* upDown() const { return static_cast<UpDown*>(widget()); }
};

int pageIndex(const PageControl* pages, const QWidget* page)
{
    for (int i = 0; i < pages->pageCount(); ++i) {
        if (pages->page(i) == page) return i;
    }
    return -1;
}

// A page of a page control is named by its tab's caption, so entering it says which page it is.
QAccessibleInterface* pageAccessible(QWidget* widget)
{
    auto* pages = qobject_cast<PageControl*>(widget->parentWidget());
    if (!pages || pageIndex(pages, widget) < 0) return nullptr;
    return new NamedWidget(widget, QAccessible::Pane, [](const QWidget* page) {
        auto* owner = static_cast<const PageControl*>(page->parentWidget());
        return owner->caption(pageIndex(owner, page));
    });
}

// Called for each class name of an object's class chain, most derived first, before Qt's own factories.
QAccessibleInterface* factory(const QString& className, QObject* object)
{
    if (!object->isWidgetType()) return nullptr;
    auto* widget = static_cast<QWidget*>(object);
    if (auto* memo = qobject_cast<LogMemo*>(object)) return logMemoAccessible(memo);
    if (auto* bar = qobject_cast<StatusBar*>(object)) {
        return new NamedWidget(bar, QAccessible::StatusBar,
            [](const QWidget* w) { return static_cast<const StatusBar*>(w)->panelText(0); });
    }
    if (auto* panel = qobject_cast<BevelPanel*>(object)) return new PanelAccessible(panel);
    if (auto* view = qobject_cast<ImageView*>(object)) return new ImageAccessible(view);
    if (auto* upDown = qobject_cast<UpDown*>(object)) return new UpDownAccessible(upDown);
    // The control itself holds the tab strip (Qt's page tab list) and the pages.
    if (qobject_cast<PageControl*>(object)) return new QAccessibleWidget(widget, QAccessible::Pane);
    // The distance chart's plot (a widget of the plotting library, which gives it no role of its own).
    if (className == QLatin1String("QCustomPlot")) return new QAccessibleWidget(widget, QAccessible::Chart);
    if (className == QLatin1String("QWidget")) return pageAccessible(widget);
    return nullptr;
}

} // namespace

void installAccessibleKinds()
{
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    Q_UNUSED(installed);
}

void announceNameChange(QWidget* widget)
{
    QAccessibleEvent event(widget, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}

} // namespace orvik
