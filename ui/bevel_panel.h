// A rectangle with an outer and an inner 1 px bevel and an optional centred caption.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

namespace orvik {

enum class Bevel { None, Raised, Lowered };

class BevelPanel : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString caption READ caption WRITE setCaption)

public:
    // Starts with a raised outer bevel, no inner bevel, no caption and the window colour.
    explicit BevelPanel(QWidget* parent = nullptr);

    QString caption() const { return m_caption; }
    // A panel that holds no controls reads as a label named by its caption, so a screen reader hears the value
    // it shows, and each change.
    void setCaption(const QString& caption);

    Bevel bevelOuter() const { return m_outer; }
    void setBevelOuter(Bevel bevel);
    Bevel bevelInner() const { return m_inner; }
    void setBevelInner(Bevel bevel);

    // An invalid colour means the palette's window colour.
    QColor color() const { return m_color; }
    void setColor(const QColor& color);
    // An invalid colour means the palette's window-text colour.
    QColor textColor() const { return m_textColor; }
    void setTextColor(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void updateMargins();

    QString m_caption;
    Bevel m_outer = Bevel::Raised;
    Bevel m_inner = Bevel::None;
    QColor m_color;
    QColor m_textColor;
};

} // namespace orvik
