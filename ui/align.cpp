// Edges are taken in the order top, bottom, left, right; client-aligned children get the rest. Within one edge,
// children are taken in creation order. Left and right children may overlap when the rest is narrower than both.
#include "align.h"

#include <QEvent>
#include <QVariant>
#include <QWidget>
#include <algorithm>

namespace orvik {

namespace {

constexpr const char* kAlignProperty = "orvikAlign";
constexpr const char* kHostProperty = "orvikAlignHost";

class AlignHostFilter final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Resize && watched->isWidgetType()) realignChildren(static_cast<QWidget*>(watched));
        return false;
    }
};

void makeHost(QWidget* host)
{
    if (host->property(kHostProperty).toBool()) return;
    host->setProperty(kHostProperty, true);
    host->installEventFilter(new AlignHostFilter(host));
}

// Places one child and shrinks the rest of the client area by the space it took.
void placeChild(QWidget* child, Align align, QRect& rest)
{
    const int restWidth = std::max(0, rest.width());
    const int restHeight = std::max(0, rest.height());
    switch (align) {
    case Align::Top:
        child->setGeometry(rest.left(), rest.top(), restWidth, child->height());
        rest.setTop(rest.top() + child->height());
        break;
    case Align::Bottom:
        child->setGeometry(rest.left(), rest.bottom() + 1 - child->height(), restWidth, child->height());
        rest.setBottom(rest.bottom() - child->height());
        break;
    case Align::Left:
        child->setGeometry(rest.left(), rest.top(), child->width(), restHeight);
        rest.setLeft(rest.left() + child->width());
        break;
    case Align::Right:
        child->setGeometry(rest.right() + 1 - child->width(), rest.top(), child->width(), restHeight);
        rest.setRight(rest.right() - child->width());
        break;
    case Align::Client:
        child->setGeometry(rest.left(), rest.top(), restWidth, restHeight);
        break;
    case Align::None:
        break;
    }
}

} // namespace

void setAlign(QWidget* child, Align align)
{
    child->setProperty(kAlignProperty, static_cast<int>(align));
    if (QWidget* host = child->parentWidget()) {
        makeHost(host);
        realignChildren(host);
    }
}

Align alignOf(const QWidget* child)
{
    return static_cast<Align>(child->property(kAlignProperty).toInt());
}

void realignChildren(QWidget* host)
{
    const QList<QWidget*> children = host->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    QRect rest = host->contentsRect();
    for (Align pass : { Align::Top, Align::Bottom, Align::Left, Align::Right, Align::Client }) {
        for (QWidget* child : children) {
            if (!child->isWindow() && alignOf(child) == pass) placeChild(child, pass, rest);
        }
    }
    for (QWidget* child : children) {
        if (child->property(kHostProperty).toBool()) realignChildren(child);
    }
}

} // namespace orvik
