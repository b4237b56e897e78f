// The window and its hardware-settings page; the data and about pages are in form1_pages.cpp.
#include "form1_ui.h"

#include "line_format.h"

#include "align.h"
#include "assets.h"
#include "layout_helpers.h"
#include "layout_style.h"

namespace orvik {

// Defined in form1_pages.cpp.
void buildDataPage(Ui_TForm1& ui);
void buildAboutPage(Ui_TForm1& ui);

namespace {

using namespace layout;

QWidget* addPage(PageControl* pages, const char* name, const char* caption)
{
    auto* page = new QWidget;
    page->setObjectName(QLatin1String(name));
    pages->addPage(page, text(caption));
    return page;
}

void buildLineSettings(Ui_TForm1& ui)
{
    struct Row {
        QLabel* Ui_TForm1::*label;
        const char* labelName;
        int labelTop;
        int labelWidth;
        const char* caption;
        ComboBox* Ui_TForm1::*combo;
        const char* comboName;
        int comboTop;
        const char* items;
        int selected;
    };
    using U = Ui_TForm1;
    // The rate list is the link core's: nullptr items stand for it.
    static constexpr const char* kBaudRates = nullptr;
    // clang-format off
    static constexpr Row kRows[] = {
        {&U::Label64, "Label64",  29, 49, "波特率  ", &U::ComboBox2, "ComboBox2",  27, kBaudRates,                      0},
        {&U::Label65, "Label65",  61, 49, "数据位",   &U::ComboBox4, "ComboBox4",  56, "5|6|7|8",                       3},
        {&U::Label66, "Label66",  93, 49, "停止位",   &U::ComboBox5, "ComboBox5",  88, "1|1.5|2",                       0},
        {&U::Label67, "Label67", 125, 49, "校验位",   &U::ComboBox6, "ComboBox6", 120, "None|Odd|Even|Mark|Space",      0},
        {&U::Label68, "Label68", 157, 65, "控制位",   &U::ComboBox7, "ComboBox7", 152, "Hardware|Software|None|Custom", 2},
    };
    // clang-format on
    QGroupBox* box = ui.GroupBox1;
    for (const Row& row : kRows) {
        ui.*row.label = fixedLabel(box, row.labelName, { 8, row.labelTop, row.labelWidth, 13 }, row.caption);
        ComboBox* combo = comboBox(box, row.comboName, { 80, row.comboTop, 81, 21 }, row.items, row.selected);
        if (!row.items) {
            combo->addItems(lineRateNames());
            combo->setItemIndex(row.selected);
        }
        // The line format is fixed; the baud rate becomes choosable once a device is connected.
        combo->setEnabled(false);
        // Each label names the control beside it for assistive technology.
        (ui.*row.label)->setBuddy(combo);
        ui.*row.combo = combo;
    }
    ui.BitBtn5 = button(box, "BitBtn5", { 175, 20, 73, 33 }, "更改波特率");
    ui.BitBtn5->setEnabled(false);
}

void buildConnectionColumn(Ui_TForm1& ui)
{
    QWidget* p = ui.Panel3;
    ui.Label63 = autoLabel(p, "Label63", 14, 24, "串口号     ");
    ui.ComboBox1 = comboBox(p, "ComboBox1", { 63, 20, 113, 21 }, "", -1);
    ui.Label63->setBuddy(ui.ComboBox1);
    ui.Button1 = button(p, "Button1", { 182, 16, 75, 25 }, "联机");
    QPalette green = ui.Button1->palette();
    green.setColor(QPalette::ButtonText, QColor(style::kGreen));
    ui.Button1->setPalette(green);
    ui.GroupBox1 = place<QGroupBox>(p, "GroupBox1", 3, 48, 255, 233);
    ui.GroupBox1->setTitle(text("联机通讯参数"));
    buildLineSettings(ui);
    ui.Label33 = fixedLabel(p, "Label33", { 8, 304, 87, 13 }, "轮循间隔时间     ");
    ui.Edit17 = edit(p, "Edit17", { 96, 299, 65, 21 }, "5");
    ui.Label33->setBuddy(ui.Edit17);
    ui.UpDown1 = upDown(p, "UpDown1", ui.Edit17, 3, 60, 5);
    ui.Label34 = autoLabel(p, "Label34", 192, 304, "秒    ");
    ui.StatusBar1 = place<StatusBar>(p, "StatusBar1", 2, 456, 276, 26);
    ui.StatusBar1->setFont(style::font(style::kStatusFontPx));
    setAlign(ui.StatusBar1, Align::Bottom);
}

void buildDeviceFields(Ui_TForm1& ui)
{
    QWidget* p = ui.Panel10;
    const QFont field = style::font(style::kFieldFontPx);
    ui.Label52 = autoLabel(p, "Label52", 8, 16, "物理地址        ", field);
    ui.Panel11 = panel(p, "Panel11", { 96, 8, 121, 25 }, Bevel::Lowered, Bevel::None);
    ui.Label55 = autoLabel(p, "Label55", 8, 45, "逻辑地址       ", field);
    ui.Edit1 = edit(p, "Edit1", { 96, 43, 121, 21 }, "1");
    ui.Label55->setBuddy(ui.Edit1);
    ui.UpDown2 = upDown(p, "UpDown2", ui.Edit1, 1, 64, 1);
    ui.Label60 = autoLabel(p, "Label60", 8, 77, "测量距离       ", field);
    ui.Panel13 = panel(p, "Panel13", { 96, 72, 121, 25 }, Bevel::Lowered, Bevel::None);
    ui.Label62 = autoLabel(p, "Label62", 230, 76, "m  ", style::font(style::kHeaderFontPx));
    ui.Label56 = autoLabel(p, "Label56", 320, 16, "工作模式         ", field);
    ui.ComboBox3 = comboBox(p, "ComboBox3", { 416, 8, 145, 21 }, "关闭状态|单次测量|连续测量|延时测量", 3);
    ui.Label56->setBuddy(ui.ComboBox3);
    ui.Label59 = autoLabel(p, "Label59", 320, 44, "延迟时间        ", field);
    ui.Edit2 = edit(p, "Edit2", { 416, 40, 121, 21 }, "5");
    ui.Label59->setBuddy(ui.Edit2);
    ui.UpDown3 = upDown(p, "UpDown3", ui.Edit2, 0, 100, 5);
    ui.Label61 = autoLabel(p, "Label61", 568, 48, "秒");
    // Created visible; start-up hides them for the whole run.
    ui.BitBtn1 = button(p, "BitBtn1", { 368, 96, 75, 25 }, "Entern cal ");
    ui.BitBtn2 = button(p, "BitBtn2", { 464, 96, 75, 25 }, "Power");
    ui.BitBtn4 = button(p, "BitBtn4", { 560, 96, 75, 25 }, "Save");
}

void buildDevicePanel(Ui_TForm1& ui)
{
    QWidget* p = ui.Panel4;
    ui.Panel6 = header(p, "Panel6", { 1, -2, 689, 37 }, "设备信息", style::kTeal, style::font(style::kHeaderFontPx),
        QColor(style::kWhite));
    ui.Panel10 = panel(p, "Panel10", { 2, 35, 689, 140 }, Bevel::Lowered, Bevel::None);
    buildDeviceFields(ui);
    ui.Panel14 = panel(p, "Panel14", { 0, 175, 691, 52 }, Bevel::Lowered, Bevel::None);
    ui.BitBtn6 = button(ui.Panel14, "BitBtn6", { 99, 16, 102, 25 }, "读取设备信息");
    ui.Button3 = button(ui.Panel14, "Button3", { 261, 16, 97, 25 }, "单次测量 ");
    ui.Button2 = button(ui.Panel14, "Button2", { 424, 16, 97, 25 }, "参数写入");
}

void buildDebugLog(Ui_TForm1& ui)
{
    QWidget* p = ui.Panel8;
    ui.Panel12 = header(p, "Panel12", { 1, 2, 689, 35 }, "调试信息", style::kTeal, style::font(style::kHeaderFontPx),
        QColor(style::kWhite));
    ui.Memo1 = place<LogMemo>(p, "Memo1", 2, 37, 688, 216);
    ui.Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    ui.Memo1->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    ui.Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ui.Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Tab walks on to the next control, as in every other field of the window.
    ui.Memo1->setTabChangesFocus(true);
}

void buildHardwarePage(Ui_TForm1& ui)
{
    QWidget* page = ui.TabSheet1;
    ui.Panel3 = panel(page, "Panel3", { 0, 0, 280, 484 }, Bevel::Raised, Bevel::Lowered);
    setAlign(ui.Panel3, Align::Left);
    buildConnectionColumn(ui);
    ui.Panel4 = panel(page, "Panel4", { 280, -1, 692, 229 }, Bevel::Raised, Bevel::None);
    buildDevicePanel(ui);
    ui.Panel8 = panel(page, "Panel8", { 280, 231, 692, 253 }, Bevel::Raised, Bevel::None, "Panel8");
    buildDebugLog(ui);
}

// Tab and Enter walk the hardware page in this order; Qt itself passes over hidden and disabled controls.
void buildFocusChain(Ui_TForm1& ui)
{
    QWidget* const chain[] = {
        ui.PageControl1->tabBar(),
        ui.ComboBox2,
        ui.ComboBox4,
        ui.ComboBox5,
        ui.ComboBox6,
        ui.ComboBox7,
        ui.BitBtn5,
        ui.Edit17,
        ui.ComboBox1,
        ui.Button1,
        ui.Edit1,
        ui.ComboBox3,
        ui.Edit2,
        ui.BitBtn1,
        ui.BitBtn2,
        ui.BitBtn4,
        ui.BitBtn6,
        ui.Button3,
        ui.Button2,
        ui.Memo1,
    };
    for (std::size_t i = 1; i < std::size(chain); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

void buildTimers(Ui_TForm1& ui, QWidget* form)
{
    // Created stopped at the default interval; the logic starts them when it needs them.
    ui.Timer1 = new QTimer(form);
    ui.Timer1->setObjectName(QStringLiteral("Timer1"));
    ui.Timer1->setInterval(1000);
    ui.Timer2 = new QTimer(form);
    ui.Timer2->setObjectName(QStringLiteral("Timer2"));
    ui.Timer2->setInterval(1000);
}

void setUpWindow(QWidget* form)
{
    form->setWindowFlags(style::kWindowFlags);
    form->setWindowTitle(QStringLiteral("Orvik Monitor"));
    form->setWindowIcon(windowIcon());
    form->setFont(style::font(style::kWindowFontPx));
    QPalette palette = form->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Button));
    form->setPalette(palette);
    form->setAutoFillBackground(true);
    form->resize(style::kClientWidth, style::kClientHeight);
}

} // namespace

void Ui_TForm1::setupUi(QWidget* form)
{
    setUpWindow(form);
    PageControl1 = place<PageControl>(form, "PageControl1", 0, 0, style::kClientWidth, style::kClientHeight);
    TabSheet1 = addPage(PageControl1, "TabSheet1", "硬件设置");
    TabSheet2 = addPage(PageControl1, "TabSheet2", "数据获取");
    TabSheet4 = addPage(PageControl1, "TabSheet4", "关于");
    setAlign(PageControl1, Align::Client);
    buildHardwarePage(*this);
    buildDataPage(*this);
    buildAboutPage(*this);
    buildFocusChain(*this);
    buildTimers(*this, form);
    realignChildren(form);
}

} // namespace orvik
