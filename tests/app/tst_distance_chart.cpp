// The distance chart as the user reaches it: a part loaded the first time it opens from the sensor panel's menu,
// following the polls live, worked by keys on the plot and on its legend, and the export keeping what the chart
// shows as a break.
#include "context_menu.h"
#include "form_probe.h"

#include "optional_part.h"
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

QAction* panelEntry(TForm1Probe& probe, const QString& text)
{
    return contextMenuEntry(probe.LinkBoxes()[0], QPoint(5, 5), text);
}

// Polls slave 1 and lets it answer, or leaves it silent until the tick that polls slave 2.
void pollSlave1(TForm1Probe& probe, bool answers)
{
    probe.CurrentSlave() = 0;
    probe.Timer1Timer();
    if (answers)
        probe.receiveFrame(hexBytes(kSlave1Reply));
    else
        probe.Timer1Timer();
}

} // namespace

class TestDistanceChart : public QObject {
    Q_OBJECT

private slots:
    void openedAndWorkedByKeys();
};

void TestDistanceChart::openedAndWorkedByKeys()
{
    TForm1Probe probe;
    probe.window().show();
    probe.connectDirectly();
    for (bool answers : { true, false, true })
        pollSlave1(probe, answers);
    QVERIFY(!isLoadedInProcess(QStringLiteral("orvik-chart.so")));
    QAction* open = panelEntry(probe, QStringLiteral("距离曲线..."));
    QVERIFY(open);
    open->trigger();
    QVERIFY2(probe.messages.isEmpty(), qPrintable(probe.messages.join('\n')));
    QVERIFY(isLoadedInProcess(QStringLiteral("orvik-chart.so")));
    auto* chart = probe.window().findChild<QWidget*>(QStringLiteral("distanceChart"));
    QVERIFY(chart && chart->isWindow() && chart->isVisible());
    QCOMPARE(chart->windowTitle(), QStringLiteral("距离曲线"));
    panelEntry(probe, QStringLiteral("距离曲线..."))->trigger(); // brings the same window forward
    QCOMPARE(probe.window().findChildren<QWidget*>(QStringLiteral("distanceChart")).size(), 1);

    auto* legend = chart->findChild<QListWidget*>(QStringLiteral("chartLegend"));
    QCOMPARE(legend->count(), 1);
    QCOMPARE(legend->item(0)->text(), QStringLiteral("从站 1"));
    QAccessibleInterface* a11y = QAccessible::queryAccessibleInterface(legend);
    QCOMPARE(a11y->role(), QAccessible::List);
    QCOMPARE(a11y->text(QAccessible::Name), QStringLiteral("图例"));
    for (const char* key : { "+", "−", "←", "→", "Home" })
        QVERIFY2(a11y->text(QAccessible::Description).contains(QString::fromUtf8(key)), key);

    // The keys on the plot: zoom about the centre, pan by a quarter, Home back to the whole run.
    auto* plot = chart->findChild<QCustomPlot*>(QStringLiteral("distancePlot"));
    QAccessibleInterface* plotA11y = QAccessible::queryAccessibleInterface(plot);
    QCOMPARE(plotA11y->role(), QAccessible::Chart);
    QCOMPARE(plotA11y->text(QAccessible::Name), QStringLiteral("距离曲线图"));
    QVERIFY(QTest::qWaitForWindowActive(chart));
    plot->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), plot);
    const QCPRange whole = plot->xAxis->range();
    auto near = [](double a, double b) { return std::abs(a - b) < 0.002; };
    struct Step {
        Qt::Key key;
        double centre; // in spans of the whole run
        double size;
    };
    for (const Step& step : { Step { Qt::Key_Plus, 0.5, 0.5 }, Step { Qt::Key_Right, 0.625, 0.5 },
             Step { Qt::Key_Minus, 0.625, 1 }, Step { Qt::Key_Left, 0.375, 1 }, Step { Qt::Key_Home, 0.5, 1 } }) {
        QTest::keyClick(QApplication::focusWidget(), step.key);
        const QCPRange range = plot->xAxis->range();
        QVERIFY2(near(range.center(), whole.lower + step.centre * whole.size())
                && near(range.size(), step.size * whole.size()),
            qPrintable(QStringLiteral("%1: %2 .. %3").arg(step.key).arg(range.lower).arg(range.upper)));
    }

    // Space on the legend hides and shows the line.
    legend->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), legend);
    const QImage shown = plot->toPixmap().toImage();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QCOMPARE(legend->item(0)->checkState(), Qt::Unchecked);
    QVERIFY(plot->toPixmap().toImage() != shown);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QCOMPARE(plot->toPixmap().toImage(), shown);

    // The export keeps the unanswered poll at its place.
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("distances.csv"));
    setSaveFileChooser([&](const QString&, const QString&) { return path; });
    panelEntry(probe, QStringLiteral("导出距离数据..."))->trigger();
    setSaveFileChooser({});
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList rows = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"));
    QCOMPARE(rows.size(), 5);
    QCOMPARE(rows[1].section(',', 1), QStringLiteral("1,1.235"));
    QCOMPARE(rows[2].section(',', 1), QStringLiteral("1,"));
    QCOMPARE(rows[3].section(',', 1), QStringLiteral("1,1.235"));
}

QTEST_MAIN(TestDistanceChart)
#include "tst_distance_chart.moc"
