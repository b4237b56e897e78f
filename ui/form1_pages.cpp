// The data page with its sixteen slave rows, the about page, and the slave controls created at start-up.
#include <QDebug>

#include "align.h"
#include "assets.h"
#include "display_only.h"
#include "form1_ui.h"
#include "jpeg_decoder.h"
#include "layout_helpers.h"
#include "layout_style.h"

namespace orvik {

namespace {

using namespace layout;

struct SlaveRow {
    const char* addressLabel;
    const char* caption; // exact, trailing blanks included
    const char* distanceLabel;
    int distanceTop;
    const char* unitLabel;
    int unitTop;
};

// Row n belongs to slave address n; its address label, link box and distance field sit at top 24 * n.
// clang-format off
constexpr SlaveRow kSlaveRows[16] = {
    {"Label1",  "Addr: ID 1          ",  "Label2",  25,  "Label35", 17},
    {"Label3",  "Addr: ID 2          ",  "Label4",  49,  "Label36", 41},
    {"Label19", "Addr: ID 3          ",  "Label5",  73,  "Label38", 66},
    {"Label20", "Addr: ID 4          ",  "Label6",  98,  "Label37", 90},
    {"Label21", "Addr: ID 5         ",   "Label7",  122, "Label39", 115},
    {"Label22", "Addr: ID 6          ",  "Label8",  146, "Label57", 139},
    {"Label23", "Addr: ID 7          ",  "Label9",  171, "Label45", 164},
    {"Label24", "Addr: ID 8         ",   "Label10", 195, "Label46", 188},
    {"Label25", "Addr: ID 9          ",  "Label11", 219, "Label47", 213},
    {"Label26", "Addr: ID 10          ", "Label12", 244, "Label48", 237},
    {"Label27", "Addr: ID 11          ", "Label13", 268, "Label49", 262},
    {"Label28", "Addr: ID 12          ", "Label14", 292, "Label50", 286},
    {"Label29", "Addr: ID 13          ", "Label15", 317, "Label58", 311},
    {"Label30", "Addr: ID 14         ",  "Label16", 341, "Label51", 335},
    {"Label31", "Addr: ID 15          ", "Label17", 365, "Label53", 360},
    {"Label32", "Addr: ID 16          ", "Label18", 390, "Label54", 385},
};
// clang-format on

constexpr int kRowPitch = 24;
constexpr int kAddressLeft = 8;
constexpr int kLinkBoxLeft = 152;
constexpr int kDistanceLabelLeft = 322;
constexpr int kDistanceEditLeft = 367;
constexpr int kUnitLeft = 504;

// "Addr: ID 3 距离": the row's address caption and what the control shows, as one name for a screen reader.
QString rowName(int row, const char* what)
{
    return QString::fromUtf8(kSlaveRows[row].caption).simplified() + QLatin1Char(' ') + text(what);
}

// Pictures are part of the build; should one be damaged the window still opens, without it.
QImage loadPicture(QImage (*load)())
{
    try {
        return load();
    } catch (const ImageError& error) {
        qWarning("%s", error.what());
        return {};
    }
}

void buildSlaveRows(Ui_TForm1& ui)
{
    QWidget* p = ui.Panel2;
    const QFont unitFont = style::font(style::kUnitFontPx);
    for (int i = 0; i < 16; ++i) {
        const SlaveRow& row = kSlaveRows[i];
        ui.AddressLabels[i] = autoLabel(p, row.addressLabel, kAddressLeft, kRowPitch * (i + 1), row.caption);
        ui.DistanceLabels[i] = autoLabel(p, row.distanceLabel, kDistanceLabelLeft, row.distanceTop, "距离");
        ui.UnitLabels[i] = autoLabel(p, row.unitLabel, kUnitLeft, row.unitTop, "m    ", unitFont);
    }
}

void buildSensorPanel(Ui_TForm1& ui)
{
    ui.Panel5 = header(ui.Panel1, "Panel5", { 2, 2, 774, 33 }, "传感器信息", style::kSensorHeaderBlue,
        style::font(style::kSensorHeaderFontPx, true), QColor());
    setAlign(ui.Panel5, Align::Top);
    ui.Panel2 = panel(ui.Panel1, "Panel2", { 85, 35, 689, 447 }, Bevel::Lowered, Bevel::None);
    buildSlaveRows(ui);
}

} // namespace

void buildDataPage(Ui_TForm1& ui)
{
    QWidget* page = ui.TabSheet2;
    ui.Panel1 = panel(page, "Panel1", { 195, 0, 778, 484 }, Bevel::Raised, Bevel::Lowered);
    setAlign(ui.Panel1, Align::Right);
    buildSensorPanel(ui);
    // The page only shows values: nothing in it takes the focus, a click or a key, yet a link box that is
    // checked and enabled must still look different from one that is not, so the panel stays enabled.
    makeDisplayOnly(ui.Panel1);
    // Created after Panel1, so it lies above Panel1's left 85 px.
    ui.Panel7 = panel(page, "Panel7", { 0, 0, 280, 484 }, Bevel::Raised, Bevel::Lowered, "Panel7");
    setAlign(ui.Panel7, Align::Left);
    ui.Image1 = place<ImageView>(ui.Panel7, "Image1", 2, 2, 276, 480);
    ui.Image1->setImage(loadPicture(portraitPicture), text("距离传感器及其 RS-485 接线"));
    setAlign(ui.Image1, Align::Client);
}

void buildAboutPage(Ui_TForm1& ui)
{
    QWidget* page = ui.TabSheet4;
    ui.Panel9 = panel(page, "Panel9", { 0, 0, 276, 484 }, Bevel::Lowered, Bevel::None, "Panel9");
    setAlign(ui.Panel9, Align::Left);
    ui.Image3 = place<ImageView>(ui.Panel9, "Image3", 1, 1, 274, 482);
    ui.Image3->setImage(loadPicture(portraitPicture), text("距离传感器及其 RS-485 接线"));
    setAlign(ui.Image3, Align::Client);
    ui.Image4 = place<ImageView>(page, "Image4", 408, 96, 360, 270);
    ui.Image4->setImage(loadPicture(landscapePicture), text("RS-485 总线上的多个距离传感器"));
}

void createSlaveControls(
    QWidget* panel2, std::array<QCheckBox*, 16>& linkBoxes, std::array<QLineEdit*, 17>& distanceEdits)
{
    // All sixteen boxes first, then all sixteen fields, as the rows' tab order has them.
    for (int i = 0; i < 16; ++i) {
        auto* box = place<QCheckBox>(panel2, qPrintable(QStringLiteral("LinkBox%1").arg(i + 1)), kLinkBoxLeft,
            kRowPitch * i + kRowPitch, 98, 18);
        box->setText(text("连接状态"));
        box->setEnabled(false);
        box->setChecked(false);
        box->setAccessibleName(rowName(i, "连接状态"));
        makeDisplayOnly(box);
        linkBoxes[static_cast<std::size_t>(i)] = box;
    }
    distanceEdits[0] = nullptr;
    for (int i = 0; i < 16; ++i) {
        auto* field = place<QLineEdit>(panel2, qPrintable(QStringLiteral("DistanceEdit%1").arg(i + 1)),
            kDistanceEditLeft, kRowPitch * i + kRowPitch, 121, 21);
        makeDisplayOnly(field);
        // Read-only to assistive technology too, and named by its row: sixteen fields all called 距离 say nothing.
        field->setReadOnly(true);
        field->setAccessibleName(rowName(i, "距离"));
        distanceEdits[static_cast<std::size_t>(i + 1)] = field;
    }
}

std::array<QLabel*, 16> slaveAddressLabels(const QWidget* panel2)
{
    std::array<QLabel*, 16> labels {};
    for (std::size_t i = 0; i < labels.size(); ++i)
        labels[i] = panel2->findChild<QLabel*>(QString::fromLatin1(kSlaveRows[i].addressLabel));
    return labels;
}

} // namespace orvik
