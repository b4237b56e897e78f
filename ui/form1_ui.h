// The main window's controls under their fixed names, built from the layout tables by setupUi.
#pragma once

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <array>

#include "bevel_panel.h"
#include "combo_box.h"
#include "image_view.h"
#include "log_memo.h"
#include "page_control.h"
#include "status_bar.h"
#include "up_down.h"

class QWidget;

namespace orvik {

struct Ui_TForm1 {
    PageControl* PageControl1 {};
    QWidget* TabSheet1 {};
    QWidget* TabSheet2 {};
    QWidget* TabSheet4 {};

    // Hardware-settings page.
    BevelPanel* Panel3 {};
    BevelPanel* Panel4 {};
    BevelPanel* Panel8 {};
    QLabel* Label63 {};
    ComboBox* ComboBox1 {};
    QPushButton* Button1 {};
    QGroupBox* GroupBox1 {};
    QLabel* Label33 {};
    QLineEdit* Edit17 {};
    UpDown* UpDown1 {};
    QLabel* Label34 {};
    StatusBar* StatusBar1 {};
    QLabel* Label64 {};
    ComboBox* ComboBox2 {};
    QLabel* Label65 {};
    ComboBox* ComboBox4 {};
    QLabel* Label66 {};
    ComboBox* ComboBox5 {};
    QLabel* Label67 {};
    ComboBox* ComboBox6 {};
    QLabel* Label68 {};
    ComboBox* ComboBox7 {};
    QPushButton* BitBtn5 {};
    BevelPanel* Panel6 {};
    BevelPanel* Panel10 {};
    BevelPanel* Panel14 {};
    QLabel* Label52 {};
    BevelPanel* Panel11 {};
    QLabel* Label55 {};
    QLineEdit* Edit1 {};
    UpDown* UpDown2 {};
    QLabel* Label60 {};
    BevelPanel* Panel13 {};
    QLabel* Label62 {};
    QLabel* Label56 {};
    ComboBox* ComboBox3 {};
    QLabel* Label59 {};
    QLineEdit* Edit2 {};
    UpDown* UpDown3 {};
    QLabel* Label61 {};
    QPushButton* BitBtn1 {};
    QPushButton* BitBtn2 {};
    QPushButton* BitBtn4 {};
    QPushButton* BitBtn6 {};
    QPushButton* Button3 {};
    QPushButton* Button2 {};
    BevelPanel* Panel12 {};
    LogMemo* Memo1 {};

    // Data page.
    BevelPanel* Panel1 {};
    BevelPanel* Panel7 {};
    BevelPanel* Panel5 {};
    BevelPanel* Panel2 {};
    ImageView* Image1 {};
    // Slave rows: address label, distance label and unit label of row n at index n - 1.
    std::array<QLabel*, 16> AddressLabels {};
    std::array<QLabel*, 16> DistanceLabels {};
    std::array<QLabel*, 16> UnitLabels {};

    // About page.
    BevelPanel* Panel9 {};
    ImageView* Image3 {};
    ImageView* Image4 {};

    QTimer* Timer1 {};
    QTimer* Timer2 {};

    // Builds every declared control on form (the window), sets its size, title, flags, font and icon.
    void setupUi(QWidget* form);
};

// Creates the sixteen link check boxes (indexes 0 to 15) and distance fields (indexes 1 to 16) of the data page's
// slave rows on panel2.
void createSlaveControls(
    QWidget* panel2, std::array<QCheckBox*, 16>& linkBoxes, std::array<QLineEdit*, 17>& distanceEdits);

// The "Addr: ID n" labels of the slave rows on panel2, index 0 for slave 1.
std::array<QLabel*, 16> slaveAddressLabels(const QWidget* panel2);

} // namespace orvik
