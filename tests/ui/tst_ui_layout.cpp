// Every declared control of the window built by setupUi, and the slave rows with the controls created at start-up.
#include <QTest>

#include "form1_ui.h"
#include "ui_form.h"

using namespace orvik;
using namespace orvik::test;

class TestLayout : public QObject {
    Q_OBJECT

private slots:
    void declaredControls_data();
    void declaredControls();
    void itemLists_data();
    void itemLists();
    void coloursAndFonts();
    void slaveRows_data();
    void slaveRows();
    void slaveControls();
};

void TestLayout::declaredControls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("geometry"); // width -1: a label sized to its caption
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("fontPx");
    QTest::addColumn<bool>("enabled");
    // clang-format off
    const auto row = [](const char* name, const char* kind, const char* parent, QRect geometry, const char* text,
                        int fontPx = 11, bool enabled = true) {
        QTest::newRow(name) << name << kind << parent << geometry << u(text) << fontPx << enabled;
    };
    row("PageControl1", "orvik::PageControl", "",     {0, 0, 981, 512}, "");
    row("TabSheet1", "QWidget", "PageControl1",       {4, 24, 973, 484}, "");
    row("TabSheet2", "QWidget", "PageControl1",       {4, 24, 973, 484}, "");
    row("TabSheet4", "QWidget", "PageControl1",       {4, 24, 973, 484}, "");
    row("Panel3", "orvik::BevelPanel", "TabSheet1",   {0, 0, 280, 484}, "");
    row("Panel4", "orvik::BevelPanel", "TabSheet1",   {280, -1, 692, 229}, "");
    row("Panel8", "orvik::BevelPanel", "TabSheet1",   {280, 231, 692, 253}, "Panel8");
    row("Label63", "QLabel", "Panel3",                {14, 24, -1, -1}, "串口号     ");
    row("ComboBox1", "orvik::ComboBox", "Panel3",     {63, 20, 113, 21}, "");
    row("Button1", "QPushButton", "Panel3",           {182, 16, 75, 25}, "联机");
    row("GroupBox1", "QGroupBox", "Panel3",           {3, 48, 255, 233}, "联机通讯参数");
    row("Label33", "QLabel", "Panel3",                {8, 304, 87, 13}, "轮循间隔时间     ");
    row("Edit17", "QLineEdit", "Panel3",              {96, 299, 65, 21}, "5");
    row("UpDown1", "orvik::UpDown", "Panel3",         {161, 299, 20, 21}, "");
    row("Label34", "QLabel", "Panel3",                {192, 304, -1, -1}, "秒    ");
    row("StatusBar1", "orvik::StatusBar", "Panel3",   {2, 456, 276, 26}, "", 12);
    row("Label64", "QLabel", "GroupBox1",             {8, 29, 49, 13}, "波特率  ");
    row("ComboBox2", "orvik::ComboBox", "GroupBox1",  {80, 27, 81, 21}, "600", 11, false);
    row("Label65", "QLabel", "GroupBox1",             {8, 61, 49, 13}, "数据位");
    row("ComboBox4", "orvik::ComboBox", "GroupBox1",  {80, 56, 81, 21}, "8", 11, false);
    row("Label66", "QLabel", "GroupBox1",             {8, 93, 49, 13}, "停止位");
    row("ComboBox5", "orvik::ComboBox", "GroupBox1",  {80, 88, 81, 21}, "1", 11, false);
    row("Label67", "QLabel", "GroupBox1",             {8, 125, 49, 13}, "校验位");
    row("ComboBox6", "orvik::ComboBox", "GroupBox1",  {80, 120, 81, 21}, "None", 11, false);
    row("Label68", "QLabel", "GroupBox1",             {8, 157, 65, 13}, "控制位");
    row("ComboBox7", "orvik::ComboBox", "GroupBox1",  {80, 152, 81, 21}, "None", 11, false);
    row("BitBtn5", "QPushButton", "GroupBox1",        {175, 20, 73, 33}, "更改波特率", 11, false);
    row("Panel6", "orvik::BevelPanel", "Panel4",      {1, -2, 689, 37}, "设备信息", 16);
    row("Panel10", "orvik::BevelPanel", "Panel4",     {2, 35, 689, 140}, "");
    row("Panel14", "orvik::BevelPanel", "Panel4",     {0, 175, 691, 52}, "");
    row("Label52", "QLabel", "Panel10",               {8, 16, -1, -1}, "物理地址        ", 13);
    row("Panel11", "orvik::BevelPanel", "Panel10",    {96, 8, 121, 25}, "");
    row("Label55", "QLabel", "Panel10",               {8, 45, -1, -1}, "逻辑地址       ", 13);
    row("Edit1", "QLineEdit", "Panel10",              {96, 43, 121, 21}, "1");
    row("UpDown2", "orvik::UpDown", "Panel10",        {217, 43, 20, 21}, "");
    row("Label60", "QLabel", "Panel10",               {8, 77, -1, -1}, "测量距离       ", 13);
    row("Panel13", "orvik::BevelPanel", "Panel10",    {96, 72, 121, 25}, "");
    row("Label62", "QLabel", "Panel10",               {230, 76, -1, -1}, "m  ", 16);
    row("Label56", "QLabel", "Panel10",               {320, 16, -1, -1}, "工作模式         ", 13);
    row("ComboBox3", "orvik::ComboBox", "Panel10",    {416, 8, 145, 21}, "延时测量");
    row("Label59", "QLabel", "Panel10",               {320, 44, -1, -1}, "延迟时间        ", 13);
    row("Edit2", "QLineEdit", "Panel10",              {416, 40, 121, 21}, "5");
    row("UpDown3", "orvik::UpDown", "Panel10",        {537, 40, 20, 21}, "");
    row("Label61", "QLabel", "Panel10",               {568, 48, -1, -1}, "秒");
    row("BitBtn1", "QPushButton", "Panel10",          {368, 96, 75, 25}, "Entern cal ");
    row("BitBtn2", "QPushButton", "Panel10",          {464, 96, 75, 25}, "Power");
    row("BitBtn4", "QPushButton", "Panel10",          {560, 96, 75, 25}, "Save");
    row("BitBtn6", "QPushButton", "Panel14",          {99, 16, 102, 25}, "读取设备信息");
    row("Button3", "QPushButton", "Panel14",          {261, 16, 97, 25}, "单次测量 ");
    row("Button2", "QPushButton", "Panel14",          {424, 16, 97, 25}, "参数写入");
    row("Panel12", "orvik::BevelPanel", "Panel8",     {1, 2, 689, 35}, "调试信息", 16);
    row("Memo1", "orvik::LogMemo", "Panel8",          {2, 37, 688, 216}, "");
    row("Panel1", "orvik::BevelPanel", "TabSheet2",   {195, 0, 778, 484}, "");
    row("Panel7", "orvik::BevelPanel", "TabSheet2",   {0, 0, 280, 484}, "Panel7");
    row("Panel5", "orvik::BevelPanel", "Panel1",      {2, 2, 774, 33}, "传感器信息", 24);
    row("Panel2", "orvik::BevelPanel", "Panel1",      {85, 35, 689, 447}, "");
    row("Image1", "orvik::ImageView", "Panel7",       {2, 2, 276, 480}, "");
    row("Panel9", "orvik::BevelPanel", "TabSheet4",   {0, 0, 276, 484}, "Panel9");
    row("Image3", "orvik::ImageView", "Panel9",       {1, 1, 274, 482}, "");
    row("Image4", "orvik::ImageView", "TabSheet4",    {408, 96, 360, 270}, "");
    // clang-format on
}

void TestLayout::declaredControls()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QString, parent);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    QFETCH(int, fontPx);
    QFETCH(bool, enabled);
    QWidget form;
    Ui_TForm1 ui;
    ui.setupUi(&form);
    auto* w = form.findChild<QWidget*>(name);
    QVERIFY(w);
    QCOMPARE(QString(w->metaObject()->className()), kind);
    QCOMPARE(w->parentWidget() == &form ? QString() : w->parentWidget()->objectName(), parent);
    QCOMPARE(textOf(w), text);
    QCOMPARE(w->font().pixelSize(), fontPx);
    QCOMPARE(w->isEnabled(), enabled);
    // Only the first page is shown at start.
    QCOMPARE(w->isHidden(), name == "TabSheet2" || name == "TabSheet4");
    QCOMPARE(w->pos(), geometry.topLeft());
    if (geometry.width() >= 0) {
        QCOMPARE(w->size(), geometry.size());
        return;
    }
    // A label sized to its caption shows all of it, and its trailing blanks make it wider still.
    const QFontMetrics metrics(w->font());
    QVERIFY(w->width() >= metrics.horizontalAdvance(text.trimmed()));
    QVERIFY(w->height() >= metrics.height());
    if (text.endsWith(' ')) QVERIFY(w->width() > metrics.horizontalAdvance(text.trimmed()));
}

void TestLayout::itemLists_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("items");
    QTest::addColumn<int>("selected");
    QTest::newRow("ComboBox1") << "ComboBox1"
                               << "" << -1;
    QTest::newRow("ComboBox2") << "ComboBox2"
                               << "600|1200|2400|4800|9600|19200|38400|57600|115200" << 0;
    QTest::newRow("ComboBox4") << "ComboBox4"
                               << "5|6|7|8" << 3;
    QTest::newRow("ComboBox5") << "ComboBox5"
                               << "1|1.5|2" << 0;
    QTest::newRow("ComboBox6") << "ComboBox6"
                               << "None|Odd|Even|Mark|Space" << 0;
    QTest::newRow("ComboBox7") << "ComboBox7"
                               << "Hardware|Software|None|Custom" << 2;
    QTest::newRow("ComboBox3") << "ComboBox3" << u("关闭状态|单次测量|连续测量|延时测量") << 3;
}

void TestLayout::itemLists()
{
    QFETCH(QString, name);
    QFETCH(QString, items);
    QFETCH(int, selected);
    QWidget form;
    Ui_TForm1 ui;
    ui.setupUi(&form);
    auto* combo = form.findChild<ComboBox*>(name);
    QVERIFY(combo);
    QStringList actual;
    for (int i = 0; i < combo->count(); ++i)
        actual << combo->itemText(i);
    QCOMPARE(actual.join('|'), items);
    QCOMPARE(combo->itemIndex(), selected);
    QCOMPARE(combo->maxVisibleItems(), 8);
    QVERIFY(combo->isEditable());
}

void TestLayout::coloursAndFonts()
{
    QWidget form;
    Ui_TForm1 ui;
    ui.setupUi(&form);
    for (BevelPanel* header : { ui.Panel6, ui.Panel12 }) {
        QCOMPARE(header->color(), QColor(0, 128, 128));
        QCOMPARE(header->textColor(), QColor(Qt::white));
        QCOMPARE(header->bevelOuter(), Bevel::Lowered);
    }
    QCOMPARE(ui.Panel5->color(), QColor(0, 128, 255));
    QVERIFY(ui.Panel5->font().bold());
    QCOMPARE(ui.Button1->palette().color(QPalette::ButtonText), QColor(0, 128, 0));
    QCOMPARE(form.font().families().first(), QString("MS Sans Serif"));
    QCOMPARE(form.font().pixelSize(), 11);
    QCOMPARE(ui.Panel3->bevelInner(), Bevel::Lowered);
    QCOMPARE(ui.Panel11->bevelOuter(), Bevel::Lowered);
    QVERIFY(ui.Memo1->tabChangesFocus());
    QCOMPARE(ui.Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(ui.Memo1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(ui.Memo1->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    QVERIFY(!ui.Memo1->isReadOnly());
    QCOMPARE(ui.UpDown1->position(), 5);
    QCOMPARE(ui.UpDown1->associate(), ui.Edit17);
    QCOMPARE(QPair(ui.UpDown1->minimum(), ui.UpDown1->maximum()), QPair(3, 60));
    QCOMPARE(QPair(ui.UpDown2->minimum(), ui.UpDown2->maximum()), QPair(1, 64));
    QCOMPARE(QPair(ui.UpDown3->minimum(), ui.UpDown3->maximum()), QPair(0, 100));
}

void TestLayout::slaveRows_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("distance");
    QTest::addColumn<int>("distanceTop");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<int>("unitTop");
    // clang-format off
    const auto row = [](int n, const char* address, const char* caption, const char* distance, int distanceTop,
                        const char* unit, int unitTop) {
        QTest::newRow(address) << n << address << caption << distance << distanceTop << unit << unitTop;
    };
    row(1,  "Label1",  "Addr: ID 1          ",  "Label2",  25,  "Label35", 17);
    row(2,  "Label3",  "Addr: ID 2          ",  "Label4",  49,  "Label36", 41);
    row(3,  "Label19", "Addr: ID 3          ",  "Label5",  73,  "Label38", 66);
    row(4,  "Label20", "Addr: ID 4          ",  "Label6",  98,  "Label37", 90);
    row(5,  "Label21", "Addr: ID 5         ",   "Label7",  122, "Label39", 115);
    row(6,  "Label22", "Addr: ID 6          ",  "Label8",  146, "Label57", 139);
    row(7,  "Label23", "Addr: ID 7          ",  "Label9",  171, "Label45", 164);
    row(8,  "Label24", "Addr: ID 8         ",   "Label10", 195, "Label46", 188);
    row(9,  "Label25", "Addr: ID 9          ",  "Label11", 219, "Label47", 213);
    row(10, "Label26", "Addr: ID 10          ", "Label12", 244, "Label48", 237);
    row(11, "Label27", "Addr: ID 11          ", "Label13", 268, "Label49", 262);
    row(12, "Label28", "Addr: ID 12          ", "Label14", 292, "Label50", 286);
    row(13, "Label29", "Addr: ID 13          ", "Label15", 317, "Label58", 311);
    row(14, "Label30", "Addr: ID 14         ",  "Label16", 341, "Label51", 335);
    row(15, "Label31", "Addr: ID 15          ", "Label17", 365, "Label53", 360);
    row(16, "Label32", "Addr: ID 16          ", "Label18", 390, "Label54", 385);
    // clang-format on
}

void TestLayout::slaveRows()
{
    QFETCH(int, n);
    QFETCH(QString, address);
    QFETCH(QString, caption);
    QFETCH(QString, distance);
    QFETCH(int, distanceTop);
    QFETCH(QString, unit);
    QFETCH(int, unitTop);
    Form form;
    const auto i = static_cast<std::size_t>(n - 1);
    QCOMPARE(form.AddressLabels[i]->objectName(), address);
    QCOMPARE(form.AddressLabels[i]->text(), caption);
    QCOMPARE(form.AddressLabels[i]->pos(), QPoint(8, 24 * n));
    QCOMPARE(form.AddressLabels[i]->font().pixelSize(), 11);
    QCOMPARE(form.DistanceLabels[i]->objectName(), distance);
    QCOMPARE(form.DistanceLabels[i]->text(), u("距离"));
    QCOMPARE(form.DistanceLabels[i]->pos(), QPoint(322, distanceTop));
    QCOMPARE(form.UnitLabels[i]->objectName(), unit);
    QCOMPARE(form.UnitLabels[i]->text(), QString("m    "));
    QCOMPARE(form.UnitLabels[i]->pos(), QPoint(504, unitTop));
    QCOMPARE(form.UnitLabels[i]->font().pixelSize(), 19);
    for (QLabel* label : { form.AddressLabels[i], form.DistanceLabels[i], form.UnitLabels[i] })
        QCOMPARE(label->parentWidget(), form.Panel2);
    QCOMPARE(form.linkBoxes[i]->geometry(), QRect(152, 24 * n, 98, 18));
    QCOMPARE(form.distanceEdits[i + 1]->geometry(), QRect(367, 24 * n, 121, 21));
}

void TestLayout::slaveControls()
{
    Form form;
    QCOMPARE(form.distanceEdits[0], nullptr);
    const QObjectList children = form.Panel2->children();
    qsizetype lastBox = -1;
    qsizetype firstEdit = children.size();
    for (int n = 1; n <= 16; ++n) {
        QCheckBox* box = form.linkBoxes[static_cast<std::size_t>(n - 1)];
        QLineEdit* edit = form.distanceEdits[static_cast<std::size_t>(n)];
        QCOMPARE(box->objectName(), QString("LinkBox%1").arg(n));
        QCOMPARE(edit->objectName(), QString("DistanceEdit%1").arg(n));
        QCOMPARE(box->text(), u("连接状态"));
        QVERIFY(!box->isEnabled() && !box->isChecked());
        QVERIFY(edit->isEnabled() && edit->text().isEmpty());
        QCOMPARE(box->parentWidget(), form.Panel2);
        QCOMPARE(edit->parentWidget(), form.Panel2);
        lastBox = std::max(lastBox, children.indexOf(box));
        firstEdit = std::min(firstEdit, children.indexOf(edit));
    }
    QVERIFY(lastBox < firstEdit); // all boxes come before all fields
}

QTEST_MAIN(TestLayout)
#include "tst_ui_layout.moc"
