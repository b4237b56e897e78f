// The distance chart as the user reaches it: from the sensor panel's menu, following the polls live, broken where a
// poll went unanswered, its legend worked by keys, saved as PNG through its own menu.
#include "form_probe.h"

#include "distance_chart.h"
#include "save_file.h"

#include <QAccessible>
#include <QListWidget>
#include <QMenu>
#include <QTemporaryDir>
#include <QtTest>
#include <qcustomplot.h>

using namespace orvik;

namespace {

const char* const kSlave1Reply = "01 03 04 00 00 30 39 2E 21"; // 1.235 m

QAction* popupEntry(QWidget* widget, const QString& text)
{
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(30, 30), widget->mapToGlobal(QPoint(30, 30)));
    QCoreApplication::sendEvent(widget, &event);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) return nullptr;
    menu->close();
    for (QAction* action : menu->actions())
        if (action->text() == text) return action;
    return nullptr;
}

DistanceChart* openChart(TForm1Probe& probe)
{
    QAction* entry = popupEntry(probe.LinkBoxes()[0], QStringLiteral("距离曲线..."));
    if (!entry) return nullptr;
    entry->trigger();
    return probe.window().findChild<DistanceChart*>();
}

// Polls slave 1 and lets it answer.
void slave1Answers(TForm1Probe& probe)
{
    probe.CurrentSlave() = 0;
    probe.Timer1Timer();
    probe.receiveFrame(hexBytes(kSlave1Reply));
}

// Polls slave 1 and lets the tick that polls slave 2 find it unanswered.
void slave1Silent(TForm1Probe& probe)
{
    probe.CurrentSlave() = 0;
    probe.Timer1Timer();
    probe.Timer1Timer();
}

int breaks(const QCPGraph* graph)
{
    int count = 0;
    for (auto it = graph->data()->constBegin(); it != graph->data()->constEnd(); ++it)
        count += std::isnan(it->value) ? 1 : 0;
    return count;
}

} // namespace

class TestDistanceChart : public QObject {
    Q_OBJECT

private slots:
    void followsThePollsLive_data();
    void followsThePollsLive();
    void legendByKeyboard();
    void pictureSavedFromTheMenu_data();
    void pictureSavedFromTheMenu();
};

void TestDistanceChart::followsThePollsLive_data()
{
    QTest::addColumn<bool>("silentPoll");
    QTest::addColumn<int>("breaks");
    QTest::newRow("answered twice: one line") << false << 0;
    QTest::newRow("a poll unanswered in between: a break") << true << 1;
}

void TestDistanceChart::followsThePollsLive()
{
    QFETCH(bool, silentPoll);
    QFETCH(int, breaks);
    TForm1Probe probe;
    probe.window().show();
    probe.connectDirectly();
    const QRect mainGeometry = probe.window().geometry();
    DistanceChart* chart = openChart(probe);
    QVERIFY(chart);
    QVERIFY(chart->isWindow() && chart->isVisible() && !chart->isModal());
    QCOMPARE(chart->windowTitle(), QStringLiteral("距离曲线"));
    QCOMPARE(openChart(probe), chart); // opening again brings the same window forward
    QCOMPARE(probe.window().findChildren<DistanceChart*>().size(), 1);
    QCOMPARE(chart->legend()->count(), 0);

    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    slave1Answers(probe);
    const qint64 after = QDateTime::currentMSecsSinceEpoch();
    QCPGraph* line = chart->plot()->graph(0);
    QCOMPARE(line->dataCount(), 1); // drawn within the poll that brought it
    QVERIFY(!line->scatterStyle().isNone()); // a lone sample is marked: a line of one point draws nothing
    // At the column of its time, the plot's width cut into columns.
    chart->plot()->replot(QCustomPlot::rpImmediateRefresh);
    const double msPerColumn = chart->plot()->xAxis->range().size() * 1000 / chart->plot()->axisRect()->width();
    const double at = line->data()->at(0)->key * 1000;
    QVERIFY2(at >= double(before) - msPerColumn && at <= double(after) + msPerColumn, qPrintable(QString::number(at)));
    QCOMPARE(chart->legend()->count(), 1);
    QCOMPARE(chart->legend()->item(0)->text(), QStringLiteral("从站 1"));
    if (silentPoll) slave1Silent(probe);
    slave1Answers(probe);
    QCOMPARE(::breaks(line), breaks);
    QVERIFY(chart->followsLive());
    QVERIFY(chart->plot()->yAxis->range().contains(1.2345));
    QCOMPARE(probe.window().geometry(), mainGeometry);

    QAccessibleInterface* plot = QAccessible::queryAccessibleInterface(chart->plot());
    QCOMPARE(plot->role(), QAccessible::Chart);
    QCOMPARE(plot->text(QAccessible::Name), QStringLiteral("距离曲线图"));
    QAccessibleInterface* legend = QAccessible::queryAccessibleInterface(chart->legend());
    QCOMPARE(legend->role(), QAccessible::List);
    QCOMPARE(legend->text(QAccessible::Name), QStringLiteral("图例"));
}

void TestDistanceChart::legendByKeyboard()
{
    TForm1Probe probe;
    probe.window().show();
    probe.connectDirectly();
    DistanceChart* chart = openChart(probe);
    QVERIFY(chart);
    slave1Answers(probe);
    QVERIFY(QTest::qWaitForWindowActive(chart));
    chart->legend()->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), chart->legend());
    QCPGraph* line = chart->plot()->graph(0);
    for (bool shown : { false, true }) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QCOMPARE(line->visible(), shown);
        QCOMPARE(chart->legend()->item(0)->checkState(), shown ? Qt::Checked : Qt::Unchecked);
    }
}

void TestDistanceChart::pictureSavedFromTheMenu_data()
{
    QTest::addColumn<QString>("target");
    QTest::newRow("saved") << QStringLiteral("%1/chart.png");
    QTest::newRow("parent is a file") << QStringLiteral("%1/plain/chart.png");
}

void TestDistanceChart::pictureSavedFromTheMenu()
{
    QFETCH(QString, target);
    QTemporaryDir folder;
    QFile plain(folder.filePath(QStringLiteral("plain")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QString path = target.arg(folder.path());
    TForm1Probe probe;
    probe.window().show();
    probe.connectDirectly();
    DistanceChart* chart = openChart(probe);
    QVERIFY(chart);
    slave1Answers(probe);
    QString suggested;
    setSaveFileChooser([&](const QString&, const QString& name) {
        suggested = name;
        return path;
    });
    QAction* save = popupEntry(chart->plot(), QStringLiteral("保存图片..."));
    QVERIFY(save);
    save->trigger();
    setSaveFileChooser({});
    QVERIFY(QRegularExpression(QStringLiteral("^orvik-chart-\\d{8}-\\d{6}\\.png$")).match(suggested).hasMatch());
    if (target.contains(QLatin1String("plain/"))) {
        QCOMPARE(probe.messages.size(), 1);
        QVERIFY(probe.messages[0].contains(path));
        QVERIFY(!QFileInfo::exists(path));
        return;
    }
    QVERIFY(probe.messages.isEmpty());
    QImage picture(path, "PNG");
    QCOMPARE(picture.height(), chart->plot()->height());
    QVERIFY(picture.width() > chart->plot()->width()); // the key of the lines beside the plot
}

QTEST_MAIN(TestDistanceChart)
#include "tst_distance_chart.moc"
