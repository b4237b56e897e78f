// Edge alignment of child controls inside their parent's client area, kept up to date as the parent resizes.
#pragma once

class QWidget;

namespace orvik {

// Which edge a child sticks to. An edge-aligned child keeps its own size across the edge and spans the space
// left between the edges already taken; a client-aligned child fills what remains.
enum class Align { None, Top, Bottom, Left, Right, Client };

// Aligns child inside its parent's contentsRect() and keeps it aligned on every resize of the parent.
void setAlign(QWidget* child, Align align);

Align alignOf(const QWidget* child);

// Lays out host's aligned children at once, then those of every descendant host. Needed for hidden widgets,
// which Qt gives no resize event until they are shown.
void realignChildren(QWidget* host);

} // namespace orvik
