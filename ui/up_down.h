// A pair of arrow buttons that steps the whole number in the edit field it is attached to.
#pragma once

#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace orvik {

class UpDown : public QWidget {
    Q_OBJECT

public:
    static constexpr int kWidth = 20;
    static constexpr int kHeight = 21;

    explicit UpDown(QWidget* parent = nullptr);

    // Also clamps the current position into the new range.
    void setRange(int min, int max);
    int minimum() const { return m_min; }
    int maximum() const { return m_max; }

    // The number shown in the associated edit when it is a whole number within the range; otherwise the last
    // position. Reading it adopts a valid number as the new position.
    int position();
    // Clamps into the range and writes the number into the associated edit.
    void setPosition(int position);

    // The edit whose text is stepped; the Up and Down keys in it step as well. Text typed into it is left as typed.
    void setAssociate(QLineEdit* edit);
    QLineEdit* associate() const { return m_edit; }

    QSize sizeHint() const override;

    // Steps by delta within the range, without wrapping, and writes the result into the edit.
    void step(int delta);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int m_min = 0;
    int m_max = 100;
    int m_position = 0;
    int m_pressed = 0; // +1 upper half held, -1 lower half held, 0 none
    QPointer<QLineEdit> m_edit;
    QTimer m_repeat;
};

} // namespace orvik
