// Decodes JPEG data with libjpeg, turning every libjpeg error into an exception.
#pragma once

#include <QByteArray>
#include <QImage>
#include <stdexcept>

namespace orvik {

class ImageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Returns an RGB image (any JPEG colour space libjpeg can turn into RGB). Throws ImageError for data that is not a
// JPEG, is corrupt or ends early, and for pictures too large to hold; never aborts or exits the process.
QImage decodeJpeg(const QByteArray& data);

} // namespace orvik
