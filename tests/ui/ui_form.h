// The window as the program has it after start-up, and ways to read its controls, shared by the layout tests.
#pragma once

#include <QApplication>
#include <QTest>

#include "form1_ui.h"

namespace orvik::test {

// The window as the program has it after start-up: built, slave controls created, BitBtn1/2/4 hidden.
class Form : public QWidget, public Ui_TForm1 {
public:
    Form()
    {
        setupUi(this);
        createSlaveControls(Panel2, linkBoxes, distanceEdits);
        for (QPushButton* hidden : { BitBtn1, BitBtn2, BitBtn4 })
            hidden->hide();
    }
    using QWidget::focusNextChild;
    std::array<QCheckBox*, 16> linkBoxes {};
    std::array<QLineEdit*, 17> distanceEdits {};
};

inline QString textOf(const QWidget* w)
{
    if (auto* label = qobject_cast<const QLabel*>(w)) return label->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(w)) return button->text();
    if (auto* edit = qobject_cast<const QLineEdit*>(w)) return edit->text();
    if (auto* combo = qobject_cast<const QComboBox*>(w)) return combo->currentText();
    if (auto* box = qobject_cast<const QGroupBox*>(w)) return box->title();
    if (auto* panel = qobject_cast<const BevelPanel*>(w)) return panel->caption();
    if (auto* memo = qobject_cast<const QPlainTextEdit*>(w)) return memo->toPlainText();
    if (auto* bar = qobject_cast<const StatusBar*>(w)) return bar->panelText(0);
    return {};
}

// The declared control that holds the focus: a combo box's inner field counts as the combo box.
inline QString focusedControl(const Form& form)
{
    for (QWidget* w = QApplication::focusWidget(); w && w != &form; w = w->parentWidget()) {
        if (w == form.PageControl1->tabBar()) return "PageControl1";
        if (!w->objectName().isEmpty()) return w->objectName();
    }
    return "(none)";
}

inline QString u(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace orvik::test
