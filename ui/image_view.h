// Shows a picture at its natural size from the control's top-left corner, clipped, never stretched or centred.
#pragma once

#include <QImage>
#include <QWidget>

namespace orvik {

class ImageView : public QWidget {
    Q_OBJECT

public:
    explicit ImageView(QWidget* parent = nullptr);

    QImage image() const { return m_image; }
    // Assistive technology sees the picture as an image named and described by description.
    void setImage(const QImage& image, const QString& description);
    QString description() const { return m_description; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_image;
    QString m_description;
};

} // namespace orvik
