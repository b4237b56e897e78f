// A drop-down list with an editable text field whose value is the selected item index.
#pragma once

#include <QComboBox>

namespace orvik {

class ComboBox : public QComboBox {
    Q_OBJECT

public:
    // Editable, never adds typed text as an item, shows up to 8 items at once.
    explicit ComboBox(QWidget* parent = nullptr);

    // The selected item, or -1 when none is selected or the text field no longer shows the selected item's text
    // (the user typed something else).
    int itemIndex() const;
    // Selects item index and shows its text; -1 or an index out of range selects nothing and empties the text.
    void setItemIndex(int index);

    // Emits dropDown() first, so that its handler can refill the items the list is about to show.
    void showPopup() override;

signals:
    void dropDown();
};

} // namespace orvik
