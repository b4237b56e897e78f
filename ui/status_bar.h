// A status bar with one sunken text panel that spans the whole bar.
#pragma once

#include <QString>
#include <QWidget>

namespace orvik {

class StatusBar : public QWidget {
    Q_OBJECT

public:
    explicit StatusBar(QWidget* parent = nullptr);

    // Only panel 0 exists: other indexes read empty and ignore writes.
    QString panelText(int index) const;
    // Assistive technology reads panel 0 as the bar's name and hears each change, as with a QStatusBar.
    void setPanelText(int index, const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
};

} // namespace orvik
