// How the custom control kinds appear to assistive technology (AT-SPI on Linux): their role, their name, and
// the event that announces a new name.
#pragma once

class QWidget;

namespace orvik {

// Installs, once per process, the factory that gives each custom kind its role and name. Every kind's
// constructor calls it, so any window built from them is covered.
void installAccessibleKinds();

// Tells assistive technology that widget's name changed, as Qt's own labels and status bar do when their text
// changes: a screen reader speaks the new status.
void announceNameChange(QWidget* widget);

} // namespace orvik
