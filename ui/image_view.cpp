#include "image_view.h"

#include <QPainter>

#include "accessible_kinds.h"

namespace orvik {

ImageView::ImageView(QWidget* parent)
    : QWidget(parent)
{
    installAccessibleKinds();
    setFocusPolicy(Qt::NoFocus);
}

void ImageView::setImage(const QImage& image, const QString& description)
{
    m_image = image;
    m_description = description;
    updateGeometry();
    update();
    announceNameChange(this);
}

QSize ImageView::sizeHint() const
{
    return m_image.isNull() ? QSize(0, 0) : m_image.size();
}

// Where the picture does not reach, the parent shows through.
void ImageView::paintEvent(QPaintEvent*)
{
    if (m_image.isNull()) return;
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), m_image);
}

} // namespace orvik
