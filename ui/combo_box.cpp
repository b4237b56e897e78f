#include "combo_box.h"

namespace orvik {

namespace {
constexpr int kVisibleItems = 8;
}

ComboBox::ComboBox(QWidget* parent)
    : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setMaxVisibleItems(kVisibleItems);
}

int ComboBox::itemIndex() const
{
    const int index = currentIndex();
    if (index < 0 || currentText() != itemText(index)) return -1;
    return index;
}

void ComboBox::setItemIndex(int index)
{
    if (index < 0 || index >= count()) {
        setCurrentIndex(-1);
        clearEditText();
        return;
    }
    setCurrentIndex(index);
    // Qt leaves a typed text in place when the index does not change.
    setEditText(itemText(index));
}

void ComboBox::showPopup()
{
    emit dropDown();
    QComboBox::showPopup();
}

} // namespace orvik
