// The pictures and the icon built into the program.
#pragma once

#include <QIcon>
#include <QImage>

namespace orvik {

// Decoded from the built-in JPEG data; throw ImageError if that data is damaged.
QImage portraitPicture(); // 276 x 480
QImage landscapePicture(); // 360 x 270

// The 64 x 64 program icon with an alpha channel.
QIcon windowIcon();

// Resource paths of the built-in files.
inline constexpr const char* kPortraitResource = ":/orvik/portrait.jpg";
inline constexpr const char* kLandscapeResource = ":/orvik/landscape.jpg";
inline constexpr const char* kIconResource = ":/orvik/icon.png";

} // namespace orvik
