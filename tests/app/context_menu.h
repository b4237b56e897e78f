// Opening a widget's context menu as a right click does, and finding one of its entries by caption.
#pragma once

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>

// The entry captioned `text` of the menu a right click at `at` on `widget` opens, the menu closed again; null when
// no menu opens or it has no such entry.
inline QAction* contextMenuEntry(QWidget* widget, QPoint at, const QString& text)
{
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, widget->mapToGlobal(at));
    QCoreApplication::sendEvent(widget, &event);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) return nullptr;
    menu->close();
    for (QAction* action : menu->actions())
        if (action->text() == text) return action;
    return nullptr;
}
