// The window's two pictures and the program icon, drawn from scratch.
#pragma once

#include <QImage>

namespace orvik::assets {

// 276 x 480: a distance sensor, its beam to a target, and its wiring onto an RS-485 line, under the program name.
QImage drawPortrait();
// 360 x 270: a master and several sensors sharing one RS-485 line.
QImage drawLandscape();
// 64 x 64 with alpha: a sensor head sending out its beam.
QImage drawIcon();

} // namespace orvik::assets
