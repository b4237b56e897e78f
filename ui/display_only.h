// Makes a container and everything in it, including children added later, inert to the user while it stays
// enabled, so its controls keep their enabled or disabled look.
#pragma once

class QWidget;

namespace orvik {

// Takes the focus policy of widget and all its descendants away and swallows their mouse, wheel, key, focus,
// context-menu, drag and touch events. Each affected widget carries the property "displayOnly" = true.
// Children added later, at any depth, become display-only as soon as they are added.
void makeDisplayOnly(QWidget* widget);

bool isDisplayOnly(const QWidget* widget);

} // namespace orvik
