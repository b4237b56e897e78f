// The custom control kinds: combo box index, up-down stepping, page control, alignment, panels and status bar.
#include <QAbstractItemView>
#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <QtGui/private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

#include "align.h"
#include "bevel_panel.h"
#include "combo_box.h"
#include "image_view.h"
#include "page_control.h"
#include "status_bar.h"
#include "up_down.h"

using namespace orvik;

namespace {

// Counts pixels in columns [from, image width) that differ clearly from the top-left pixel's colour.
int inkFrom(const QImage& image, int from)
{
    const QColor background = image.pixelColor(0, 0);
    int ink = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = from; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            ink += std::abs(c.red() - background.red()) + std::abs(c.green() - background.green()) > 120 ? 1 : 0;
        }
    }
    return ink;
}

} // namespace

class TestControls : public QObject {
    Q_OBJECT

private slots:
    void comboItemIndex_data();
    void comboItemIndex();
    void comboSetItemIndex_data();
    void comboSetItemIndex();
    void comboEnterAddsNoItem();
    void comboDropDownComesBeforeTheList();
    void upDownSteps_data();
    void upDownSteps();
    void upDownMouseAndAccessibleValue();
    void pageAreaFollowsControlSize_data();
    void pageAreaFollowsControlSize();
    void pageChangedOnlyOnUserChange();
    void alignTakesEdgesInOrder_data();
    void alignTakesEdgesInOrder();
    void accessibleRoleAndName_data();
    void accessibleRoleAndName();
    void statusChangeIsAnnounced();
    void statusTextSpansTheBar();
    void imageIsClippedNotScaled();
};

// Items "a", "b", "c"; select, then type into the text field.
void TestControls::comboItemIndex_data()
{
    QTest::addColumn<int>("selected");
    QTest::addColumn<QString>("typed"); // a null string types nothing
    QTest::addColumn<int>("expected");
    QTest::newRow("nothing selected") << -1 << QString() << -1;
    QTest::newRow("selected, untouched") << 1 << QString() << 1;
    QTest::newRow("typed text of no item") << 1 << "zz" << -1;
    QTest::newRow("typed text of another item") << 1 << "c" << -1;
    QTest::newRow("retyped the selected item's text") << 1 << "b" << 1;
    QTest::newRow("typed into an empty selection") << -1 << "a" << -1;
}

void TestControls::comboItemIndex()
{
    QFETCH(int, selected);
    QFETCH(QString, typed);
    QFETCH(int, expected);
    ComboBox combo;
    combo.addItems({ "a", "b", "c" });
    combo.setItemIndex(selected);
    if (!typed.isNull()) {
        combo.lineEdit()->selectAll();
        QTest::keyClicks(combo.lineEdit(), typed);
    }
    QCOMPARE(combo.itemIndex(), expected);
}

void TestControls::comboSetItemIndex_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("text");
    QTest::newRow("first") << 0 << 0 << "a";
    QTest::newRow("last") << 2 << 2 << "c";
    QTest::newRow("minus one clears") << -1 << -1 << "";
    QTest::newRow("count selects nothing") << 3 << -1 << "";
    QTest::newRow("mode byte 200") << 200 << -1 << "";
}

// Starts from item 1 with a typed text, as after the user edited the field.
void TestControls::comboSetItemIndex()
{
    QFETCH(int, index);
    QFETCH(int, expected);
    QFETCH(QString, text);
    ComboBox combo;
    combo.addItems({ "a", "b", "c" });
    combo.setItemIndex(1);
    combo.lineEdit()->selectAll();
    QTest::keyClicks(combo.lineEdit(), "typed");
    combo.setItemIndex(index);
    QCOMPARE(combo.itemIndex(), expected);
    QCOMPARE(combo.currentText(), text);
}

void TestControls::comboEnterAddsNoItem()
{
    ComboBox combo;
    combo.addItems({ "600", "1200" });
    combo.lineEdit()->selectAll();
    QTest::keyClicks(combo.lineEdit(), "4711");
    QTest::keyClick(combo.lineEdit(), Qt::Key_Return);
    QCOMPARE(combo.count(), 2);
    QCOMPARE(combo.itemIndex(), -1);
    QCOMPARE(combo.currentText(), QString("4711"));
}

void TestControls::comboDropDownComesBeforeTheList()
{
    QWidget window;
    auto* combo = new ComboBox(&window);
    combo->addItem("stale");
    bool listWasOpen = true;
    QObject::connect(combo, &ComboBox::dropDown, combo, [&] {
        listWasOpen = combo->view()->isVisible();
        combo->clear();
        combo->addItems({ "/dev/ttyS0", "/dev/ttyUSB0" });
    });
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    combo->showPopup();
    QVERIFY(!listWasOpen);
    QTRY_VERIFY_WITH_TIMEOUT(combo->view()->isVisible(), 5000);
    QCOMPARE(combo->view()->model()->rowCount(), 2);
    combo->hidePopup();
}

void TestControls::upDownSteps_data()
{
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<QString>("text"); // typed into the edit before the action
    QTest::addColumn<int>("key"); // Qt::Key_Up, Qt::Key_Down, or 0 to only read the position
    QTest::addColumn<QString>("expectedText");
    QTest::addColumn<int>("expectedPosition");
    QTest::newRow("read a number in range") << 3 << 60 << "42" << 0 << "42" << 42;
    QTest::newRow("typed 0 is kept, position stays") << 3 << 60 << "0" << 0 << "0" << 5;
    QTest::newRow("typed 99 is kept, position stays") << 3 << 60 << "99" << 0 << "99" << 5;
    QTest::newRow("empty text, position stays") << 1 << 64 << "" << 0 << "" << 5;
    QTest::newRow("up steps by one") << 3 << 60 << "7" << int(Qt::Key_Up) << "8" << 8;
    QTest::newRow("down steps by one") << 3 << 60 << "7" << int(Qt::Key_Down) << "6" << 6;
    QTest::newRow("up at the top stays") << 3 << 60 << "60" << int(Qt::Key_Up) << "60" << 60;
    QTest::newRow("down at the bottom stays") << 0 << 100 << "0" << int(Qt::Key_Down) << "0" << 0;
    QTest::newRow("up from an out-of-range text steps the last position")
        << 3 << 60 << "99" << int(Qt::Key_Up) << "6" << 6;
    QTest::newRow("leading zeros read as the number") << 1 << 64 << "007" << int(Qt::Key_Up) << "8" << 8;
}

// The up-down starts at position 5; the text is typed as a user would and the arrow keys pressed in the edit.
void TestControls::upDownSteps()
{
    QFETCH(int, min);
    QFETCH(int, max);
    QFETCH(QString, text);
    QFETCH(int, key);
    QFETCH(QString, expectedText);
    QFETCH(int, expectedPosition);
    QWidget window;
    auto* edit = new QLineEdit(&window);
    auto* upDown = new UpDown(&window);
    upDown->setAssociate(edit);
    upDown->setRange(min, max);
    upDown->setPosition(5);
    edit->clear();
    QTest::keyClicks(edit, text);
    if (key != 0) QTest::keyClick(edit, Qt::Key(key));
    QCOMPARE(edit->text(), expectedText);
    QCOMPARE(upDown->position(), expectedPosition);
}

void TestControls::upDownMouseAndAccessibleValue()
{
    QWidget window;
    auto* edit = new QLineEdit(&window);
    auto* upDown = new UpDown(&window);
    upDown->setGeometry(100, 0, UpDown::kWidth, UpDown::kHeight);
    upDown->setAssociate(edit);
    upDown->setRange(1, 64);
    upDown->setPosition(1);
    QCOMPARE(upDown->focusPolicy(), Qt::NoFocus);
    QTest::mouseClick(upDown, Qt::LeftButton, {}, QPoint(10, 4));
    QTest::mouseClick(upDown, Qt::LeftButton, {}, QPoint(10, 4));
    QCOMPARE(edit->text(), QString("3"));
    QTest::mouseClick(upDown, Qt::LeftButton, {}, QPoint(10, 17));
    QCOMPARE(edit->text(), QString("2"));
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(upDown);
    QVERIFY(accessible && accessible->valueInterface());
    edit->setText("17");
    QCOMPARE(accessible->valueInterface()->currentValue().toInt(), 17);
}

void TestControls::pageAreaFollowsControlSize_data()
{
    QTest::addColumn<QSize>("control");
    QTest::newRow("window client area") << QSize(981, 512);
    QTest::newRow("wider and taller") << QSize(1300, 800);
    QTest::newRow("small") << QSize(200, 100);
}

void TestControls::pageAreaFollowsControlSize()
{
    QFETCH(QSize, control);
    PageControl pages;
    auto* first = new QWidget;
    auto* second = new QWidget;
    pages.addPage(first, "one");
    pages.addPage(second, "two");
    pages.resize(control);
    realignChildren(&pages);
    const QRect area(4, 24, control.width() - 8, control.height() - 28);
    QCOMPARE(first->geometry(), area);
    QCOMPARE(second->geometry(), area);
    pages.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pages));
    QVERIFY(first->isVisible());
    QVERIFY(!second->isVisible());
}

void TestControls::pageChangedOnlyOnUserChange()
{
    PageControl pages;
    for (const char* caption : { "one", "two", "three" })
        pages.addPage(new QWidget, caption);
    pages.resize(600, 300);
    pages.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pages));
    QSignalSpy changed(&pages, &PageControl::changed);
    pages.setActivePageIndex(2);
    QCOMPARE(pages.activePageIndex(), 2);
    QVERIFY(pages.page(2)->isVisible() && !pages.page(0)->isVisible());
    QCOMPARE(changed.count(), 0);
    QTabBar* tabs = pages.tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    QCOMPARE(pages.activePageIndex(), 1);
    QCOMPARE(changed.count(), 1);
    QVERIFY(pages.page(1)->isVisible() && !pages.page(2)->isVisible());
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    QCOMPARE(changed.count(), 1); // the shown tab again: no change
    QTest::keyClick(tabs, Qt::Key_Left);
    QCOMPARE(pages.activePageIndex(), 0);
    QCOMPARE(changed.count(), 2);
    QWheelEvent wheel(QPointF(5, 5), tabs->mapToGlobal(QPointF(5, 5)), {}, QPoint(0, -120), Qt::NoButton, {},
        Qt::NoScrollPhase, false);
    QApplication::sendEvent(tabs, &wheel);
    QCOMPARE(pages.activePageIndex(), 0);
    QCOMPARE(changed.count(), 2);
}

void TestControls::alignTakesEdgesInOrder_data()
{
    QTest::addColumn<int>("hostWidth");
    QTest::addColumn<QRect>("left");
    QTest::addColumn<QRect>("right");
    QTest::addColumn<QRect>("bottom");
    // A 2 px bevel frame; Left 280 wide, Right 778 wide, Bottom 26 high.
    QTest::newRow("overlapping") << 977 << QRect(2, 2, 280, 454) << QRect(197, 2, 778, 454) << QRect(2, 456, 973, 26);
    QTest::newRow("meeting") << 1062 << QRect(2, 2, 280, 454) << QRect(282, 2, 778, 454) << QRect(2, 456, 1058, 26);
    QTest::newRow("with a gap") << 1200 << QRect(2, 2, 280, 454) << QRect(420, 2, 778, 454) << QRect(2, 456, 1196, 26);
}

void TestControls::alignTakesEdgesInOrder()
{
    QFETCH(int, hostWidth);
    QFETCH(QRect, left);
    QFETCH(QRect, right);
    QFETCH(QRect, bottom);
    BevelPanel host;
    host.setBevelInner(Bevel::Lowered);
    host.resize(hostWidth, 484);
    auto* l = new QWidget(&host);
    l->resize(280, 10);
    auto* r = new QWidget(&host);
    r->resize(778, 10);
    auto* b = new QWidget(&host);
    b->resize(10, 26);
    setAlign(l, Align::Left);
    setAlign(r, Align::Right);
    setAlign(b, Align::Bottom);
    QCOMPARE(l->geometry(), left);
    QCOMPARE(r->geometry(), right);
    QCOMPARE(b->geometry(), bottom);
}

namespace {

// Each builds one kind inside host, as the window uses it, and returns the widget a screen reader looks at.
using Build = QWidget* (*)(QWidget* host);

QWidget* buildPages(QWidget* host)
{
    auto* pages = new PageControl(host);
    pages->resize(300, 200);
    pages->addPage(new QWidget, QString::fromUtf8("硬件设置"));
    pages->addPage(new QWidget, QString::fromUtf8("数据获取"));
    return pages;
}

QLineEdit* labelledEdit(QWidget* host)
{
    auto* edit = new QLineEdit("5", host);
    (new QLabel(QString::fromUtf8("轮循间隔时间"), host))->setBuddy(edit);
    return edit;
}

// clang-format off
const Build kBuilds[] = {
    [](QWidget* host) -> QWidget* { auto* bar = new StatusBar(host); bar->setPanelText(0, QString::fromUtf8("联机成功")); return bar; },
    [](QWidget* host) -> QWidget* { auto* panel = new BevelPanel(host); panel->setCaption("128"); return panel; },
    [](QWidget* host) -> QWidget* { auto* panel = new BevelPanel(host); panel->setCaption("Panel7"); new QWidget(panel); return panel; },
    [](QWidget* host) -> QWidget* { auto* view = new ImageView(host); view->setImage(QImage(4, 4, QImage::Format_RGB32), "wiring"); return view; },
    [](QWidget* host) -> QWidget* { auto* upDown = new UpDown(host); upDown->setAssociate(labelledEdit(host)); return upDown; },
    [](QWidget* host) -> QWidget* { auto* combo = new ComboBox(host); (new QLabel(QString::fromUtf8("波特率"), host))->setBuddy(combo); return combo; },
    [](QWidget* host) -> QWidget* { return static_cast<PageControl*>(buildPages(host))->tabBar(); },
    [](QWidget* host) -> QWidget* { return static_cast<PageControl*>(buildPages(host))->page(1); },
};
// clang-format on

} // namespace

void TestControls::accessibleRoleAndName_data()
{
    QTest::addColumn<int>("build");
    QTest::addColumn<int>("role");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("child"); // -1: the widget itself, else its accessible child at this index
    QTest::newRow("status bar, named by panel 0") << 0 << int(QAccessible::StatusBar) << "联机成功" << -1;
    QTest::newRow("caption panel, a label") << 1 << int(QAccessible::StaticText) << "128" << -1;
    QTest::newRow("panel holding controls") << 2 << int(QAccessible::Pane) << "" << -1;
    QTest::newRow("picture") << 3 << int(QAccessible::Graphic) << "wiring" << -1;
    QTest::newRow("up-down, named as its field") << 4 << int(QAccessible::SpinBox) << "轮循间隔时间" << -1;
    QTest::newRow("combo box") << 5 << int(QAccessible::ComboBox) << "波特率" << -1;
    QTest::newRow("tab strip, named by the current tab") << 6 << int(QAccessible::PageTabList) << "硬件设置" << -1;
    QTest::newRow("page tab") << 6 << int(QAccessible::PageTab) << "数据获取" << 1;
    QTest::newRow("page, named by its tab") << 7 << int(QAccessible::Pane) << "数据获取" << -1;
}

void TestControls::accessibleRoleAndName()
{
    QFETCH(int, build);
    QFETCH(int, role);
    QFETCH(QString, name);
    QFETCH(int, child);
    QWidget host;
    QWidget* widget = kBuilds[build](&host);
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    QVERIFY(accessible);
    if (child >= 0) accessible = accessible->child(child);
    QVERIFY(accessible);
    QCOMPARE(int(accessible->role()), role);
    QCOMPARE(accessible->text(QAccessible::Name), name);
}

namespace {
QStringList g_names; // names announced while a test listens
}

// A new status is announced as QStatusBar announces one; repeating the same status says nothing.
void TestControls::statusChangeIsAnnounced()
{
    StatusBar bar;
    // As when a screen reader listens: until then Qt drops every accessibility event.
    QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(true);
    QAccessible::installUpdateHandler([](QAccessibleEvent* event) {
        if (event->type() == QAccessible::NameChanged)
            g_names.append(QAccessible::queryAccessibleInterface(event->object())->text(QAccessible::Name));
    });
    bar.setPanelText(0, QString::fromUtf8("联机中..."));
    bar.setPanelText(0, QString::fromUtf8("联机成功"));
    bar.setPanelText(0, QString::fromUtf8("联机成功"));
    bar.setPanelText(1, "ignored");
    QAccessible::installUpdateHandler(nullptr);
    QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(false);
    QCOMPARE(g_names, QStringList({ QString::fromUtf8("联机中..."), QString::fromUtf8("联机成功") }));
}

// The one panel spans the bar: a text far wider than its declared 50 px still draws on the right.
void TestControls::statusTextSpansTheBar()
{
    StatusBar bar;
    bar.resize(276, 26);
    bar.setPanelText(0, QString::fromUtf8("波特率更新成功！ 波特率更新成功！"));
    bar.setPanelText(1, "ignored");
    QCOMPARE(bar.panelText(1), QString());
    QCOMPARE(QAccessible::queryAccessibleInterface(&bar)->text(QAccessible::Name), bar.panelText(0));
    QVERIFY(inkFrom(bar.grab().toImage(), 150) > 20);
}

void TestControls::imageIsClippedNotScaled()
{
    QImage picture(30, 30, QImage::Format_RGB32);
    picture.fill(Qt::red);
    picture.setPixelColor(29, 29, Qt::blue);
    QWidget parent;
    parent.setAutoFillBackground(true);
    parent.setPalette(QPalette(Qt::green));
    parent.resize(100, 100);
    auto* large = new ImageView(&parent);
    large->setGeometry(0, 0, 40, 40);
    large->setImage(picture, "red square");
    auto* small = new ImageView(&parent);
    small->setGeometry(50, 50, 20, 20);
    small->setImage(picture, "red square");
    const QImage shot = parent.grab().toImage();
    QCOMPARE(shot.pixelColor(0, 0), QColor(Qt::red));
    QCOMPARE(shot.pixelColor(29, 29), QColor(Qt::blue));
    QCOMPARE(shot.pixelColor(35, 35), QColor(Qt::green)); // the parent shows where the picture does not reach
    QCOMPARE(shot.pixelColor(69, 69), QColor(Qt::red)); // clipped: the blue corner is cut off, not squeezed in
    QCOMPARE(QAccessible::queryAccessibleInterface(large)->text(QAccessible::Name), QString("red square"));
}

QTEST_MAIN(TestControls)
#include "tst_ui_controls.moc"
