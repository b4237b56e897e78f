// The window as a whole: its frame, the focus walk, resizing, Chinese glyphs and the display-only data page.
#include <QApplication>
#include <QDir>
#include <QTabBar>
#include <QTest>

#include "display_only.h"
#include "form1_ui.h"
#include "ui_form.h"

using namespace orvik;
using namespace orvik::test;

class TestWindow : public QObject {
    Q_OBJECT

private slots:
    void window();
    void focusWalk_data();
    void focusWalk();
    void resizing_data();
    void resizing();
    void chineseGlyphsDiffer();
    void dataPageIsDisplayOnly();
    void screenshots();
};

void TestWindow::window()
{
    Form form;
    QCOMPARE(form.size(), QSize(981, 512));
    QCOMPARE(form.windowTitle(), QString("Orvik Monitor"));
    const Qt::WindowFlags flags = form.windowFlags();
    QVERIFY(flags & Qt::WindowStaysOnTopHint);
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(flags & Qt::WindowSystemMenuHint);
    QVERIFY(form.windowIcon().availableSizes().contains(QSize(64, 64)));
    QCOMPARE(form.palette().color(QPalette::Window), form.palette().color(QPalette::Button));
    // The about page's free area shows the window colour too.
    QCOMPARE(form.TabSheet4->grab().toImage().pixelColor(300, 420), form.palette().color(QPalette::Button));
    QCOMPARE(form.PageControl1->activePageIndex(), 0);
    for (QTimer* timer : { form.Timer1, form.Timer2 }) {
        QCOMPARE(timer->parent(), &form);
        QVERIFY(!timer->isActive());
        QCOMPARE(timer->interval(), 1000);
    }
    QCOMPARE(form.Timer1->objectName(), QString("Timer1"));
    QCOMPARE(form.Timer2->objectName(), QString("Timer2"));
}

void TestWindow::focusWalk_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QStringList>("walk");
    const QStringList tail { "Edit1", "ComboBox3", "Edit2" };
    const QStringList commands { "BitBtn6", "Button3", "Button2", "Memo1", "PageControl1" };
    QTest::newRow("at start") << "start" << QStringList { "Edit17", "ComboBox1", "Button1" } + tail + commands;
    QTest::newRow("connect attempt") << "connecting" << QStringList { "Edit17" } + tail + commands;
    QTest::newRow("everything enabled and shown") << "all"
                                                  << QStringList { "ComboBox2", "ComboBox4", "ComboBox5", "ComboBox6",
                                                         "ComboBox7", "BitBtn5", "Edit17", "ComboBox1", "Button1" }
            + tail + QStringList { "BitBtn1", "BitBtn2", "BitBtn4" } + commands;
    QTest::newRow("data page") << "data" << QStringList { "PageControl1" };
    QTest::newRow("about page") << "about" << QStringList { "PageControl1" };
}

// Starting on the tab strip, Tab walks the list and comes back to the tab strip; a second round repeats it.
void TestWindow::focusWalk()
{
    QFETCH(QString, state);
    QFETCH(QStringList, walk);
    Form form;
    if (state == "connecting") {
        form.ComboBox1->setEnabled(false);
        form.Button1->setEnabled(false);
    } else if (state == "all") {
        for (QWidget* w : std::initializer_list<QWidget*> {
                 form.ComboBox2, form.ComboBox4, form.ComboBox5, form.ComboBox6, form.ComboBox7, form.BitBtn5 })
            w->setEnabled(true);
        for (QWidget* w : { form.BitBtn1, form.BitBtn2, form.BitBtn4 })
            w->show();
    } else if (state == "data" || state == "about") {
        form.PageControl1->setActivePageIndex(state == "data" ? 1 : 2);
    }
    form.show();
    form.activateWindow(); // without a window manager nobody else activates it
    QVERIFY(QTest::qWaitForWindowActive(&form));
    form.PageControl1->tabBar()->setFocus();
    QTRY_COMPARE_WITH_TIMEOUT(focusedControl(form), QString("PageControl1"), 5000);
    QStringList actual;
    for (qsizetype i = 0; i < 2 * walk.size(); ++i) {
        form.focusNextChild();
        actual << focusedControl(form);
    }
    QCOMPARE(actual, walk + walk);
}

void TestWindow::resizing_data()
{
    QTest::addColumn<QSize>("client");
    QTest::newRow("as declared") << QSize(981, 512);
    QTest::newRow("wider, panels still overlap") << QSize(1030, 512);
    QTest::newRow("wider, a gap opens") << QSize(1200, 512);
    QTest::newRow("taller") << QSize(981, 700);
    QTest::newRow("narrower and shorter") << QSize(700, 400);
}

void TestWindow::resizing()
{
    QFETCH(QSize, client);
    Form form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.resize(client);
    const int pageWidth = client.width() - 8;
    const int pageHeight = client.height() - 28;
    QTRY_COMPARE_WITH_TIMEOUT(form.TabSheet1->size(), QSize(pageWidth, pageHeight), 5000);
    QCOMPARE(form.Panel3->geometry(), QRect(0, 0, 280, pageHeight));
    QCOMPARE(form.StatusBar1->geometry(), QRect(2, pageHeight - 28, 276, 26));
    QCOMPARE(form.Panel4->geometry(), QRect(280, -1, 692, 229));
    QCOMPARE(form.Panel8->geometry(), QRect(280, 231, 692, 253));
    // The hidden pages follow as well.
    QCOMPARE(form.Panel7->geometry(), QRect(0, 0, 280, pageHeight));
    QCOMPARE(form.Panel1->geometry(), QRect(pageWidth - 778, 0, 778, pageHeight));
    QCOMPARE(form.Panel5->geometry(), QRect(2, 2, 774, 33));
    QCOMPARE(form.Panel2->geometry(), QRect(85, 35, 689, 447));
    QCOMPARE(form.Image1->geometry(), QRect(2, 2, 276, pageHeight - 4));
    QCOMPARE(form.Panel9->geometry(), QRect(0, 0, 276, pageHeight));
    QCOMPARE(form.Image3->geometry(), QRect(1, 1, 274, pageHeight - 2));
    QCOMPARE(form.Image4->geometry(), QRect(408, 96, 360, 270));
    QCOMPARE(form.Panel1->x() > form.Panel7->geometry().right() + 1, pageWidth > 1058);
}

// Without a font that has these characters, every one of them draws as the same box.
void TestWindow::chineseGlyphsDiffer()
{
    Form form;
    const QImage dataBits = form.Label65->grab().toImage();
    const QImage stopBits = form.Label66->grab().toImage();
    QCOMPARE(dataBits.size(), stopBits.size());
    QVERIFY(dataBits != stopBits);
}

void TestWindow::dataPageIsDisplayOnly()
{
    Form form;
    form.PageControl1->setActivePageIndex(1);
    form.show();
    form.activateWindow(); // without a window manager nobody else activates it
    QVERIFY(QTest::qWaitForWindowActive(&form));
    form.PageControl1->tabBar()->setFocus();
    QTRY_COMPARE_WITH_TIMEOUT(focusedControl(form), QString("PageControl1"), 5000);
    QVERIFY(form.Panel1->property("displayOnly").toBool());
    QVERIFY(form.Panel1->isEnabled());

    QCheckBox* box = form.linkBoxes[2];
    box->setEnabled(true); // even a box whose slave answered ignores the user
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, 9));
    QVERIFY(!box->isChecked());
    QLineEdit* field = form.distanceEdits[3];
    field->setText("1.235");
    QTest::mouseClick(field, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::keyClicks(field, "99");
    QTest::keyClick(field, Qt::Key_Backspace);
    QCOMPARE(field->text(), QString("1.235"));
    QCOMPARE(focusedControl(form), QString("PageControl1"));

    // A control added later, at any depth, is display-only as well.
    auto* late = new QLineEdit(form.Panel2);
    late->show();
    QTRY_COMPARE_WITH_TIMEOUT(late->focusPolicy(), Qt::NoFocus, 5000);
    for (QWidget* w : form.Panel1->findChildren<QWidget*>()) {
        QVERIFY2(w->focusPolicy() == Qt::NoFocus && isDisplayOnly(w), qPrintable(w->objectName()));
    }

    // The look stays: a checked, enabled box differs from an unchecked, disabled one.
    box->setChecked(true);
    QVERIFY(box->grab().toImage() != form.linkBoxes[4]->grab().toImage());
}

// With ORVIK_UI_SHOTS set to a folder, saves a picture of each page for a look by eye.
void TestWindow::screenshots()
{
    const QString folder = qEnvironmentVariable("ORVIK_UI_SHOTS");
    if (folder.isEmpty()) QSKIP("ORVIK_UI_SHOTS not set");
    Form form;
    form.StatusBar1->setPanelText(0, u("联机成功"));
    form.Panel11->setCaption("7");
    form.Panel13->setCaption("12.346");
    // More lines than the memo shows, over two of its text blocks, one of them long enough to wrap.
    form.Memo1->appendLine("01 03 0C 00 02 00 07 00 05 00 01 00 01 E2 40 CE A8 ");
    for (int i = 0; i < 20; ++i)
        form.Memo1->appendLine(i == 9 ? QString("01 03 0C 00 02 00 07 00 05 00 01 00 01 E2 40 CE A8 ").repeated(4)
                                      : QString("03 03 04 00 00 30 39 0D E1 "));
    for (int n : { 1, 3, 4 }) {
        form.linkBoxes[static_cast<std::size_t>(n - 1)]->setEnabled(true);
        form.linkBoxes[static_cast<std::size_t>(n - 1)]->setChecked(true);
        form.distanceEdits[static_cast<std::size_t>(n)]->setText("1.235");
    }
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QDir().mkpath(folder);
    for (int page = 0; page < 3; ++page) {
        form.PageControl1->setActivePageIndex(page);
        QVERIFY(form.grab().save(QDir(folder).filePath(QString("page%1.png").arg(page))));
    }
}

QTEST_MAIN(TestWindow)
#include "tst_ui_window.moc"
