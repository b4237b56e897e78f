// The debug memo as a user meets it: frames logged through the receive step, edited with keys, copied, read by
// accessibility tools, and saved with their receive times through the memo's own context menu.
#include "form_probe.h"

#include <QAccessible>
#include <QClipboard>
#include <QMenu>
#include <QTemporaryDir>
#include <QtTest>

#include "qt_translations.h"
#include "save_file.h"

using namespace orvik;

namespace {

// Frame i arrives at 12:00:00 plus i seconds and i milliseconds, local time.
const qint64 kStartMs = QDateTime(QDate(2024, 5, 1), QTime(12, 0)).toMSecsSinceEpoch();

QString stamp(int i)
{
    return QStringLiteral("2024-05-01 12:00:%1.%2\t").arg(i, 2, 10, QLatin1Char('0')).arg(i, 3, 10, QLatin1Char('0'));
}

// Distinct short frames: "01 03 00 ", "01 03 01 ", ...
QByteArray frame(int i)
{
    return QByteArray("\x01\x03", 2) + char(i);
}
QString line(int i)
{
    return QStringLiteral("01 03 %1 ").arg(i, 2, 16, QLatin1Char('0')).toUpper();
}

class Log {
public:
    explicit Log(TForm1Probe& probe)
        : m_probe(probe)
    {
        probe.ui().Memo1->setClock([this] { return kStartMs + m_next * 1001; });
        probe.connectDirectly();
    }
    void receive(const QByteArray& bytes)
    {
        m_probe.receiveFrame(bytes);
        ++m_next;
    }
    void receive(int from, int to)
    {
        for (int i = from; i < to; ++i)
            receive(frame(i));
    }

private:
    TForm1Probe& m_probe;
    int m_next = 0;
};

QMenu* openContextMenu(LogMemo* memo)
{
    const QPoint at(20, 20);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, memo->viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(memo->viewport(), &event);
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

bool triggerMenuEntry(LogMemo* memo, const QString& text)
{
    QMenu* menu = openContextMenu(memo);
    if (!menu) return false;
    QAction* found = nullptr;
    for (QAction* action : menu->actions())
        if (action->text() == text) found = action;
    menu->close();
    if (found) found->trigger();
    return found;
}

// Whether the memo's menu has an entry whose text starts with prefix (Qt's entries end in their shortcut).
bool menuHas(LogMemo* memo, const QString& prefix)
{
    QMenu* menu = openContextMenu(memo);
    if (!menu) return false;
    bool found = false;
    for (QAction* action : menu->actions())
        found = found || action->text().startsWith(prefix);
    menu->close();
    return found;
}

QString readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QStringLiteral("<missing>");
}

} // namespace

class TestMemoLog : public QObject {
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale::c()); }
    void linesCopyAccessibleTextAndSavedFile_data();
    void linesCopyAccessibleTextAndSavedFile();
    void failedSaveKeepsTheLog_data();
    void failedSaveKeepsTheLog();
    void qtMenuEntriesFollowTheLocale();
    void distancesExportedFromTheSensorPanel_data();
    void distancesExportedFromTheSensorPanel();
};

void TestMemoLog::linesCopyAccessibleTextAndSavedFile_data()
{
    QTest::addColumn<int>("before"); // frames logged before the keys
    QTest::addColumn<QTestEventList>("keys");
    QTest::addColumn<int>("after"); // frames logged after them
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("file");

    auto logged = [](int from, int to, QStringList* lines, QString* file) {
        for (int i = from; i < to; ++i) {
            *lines << line(i);
            *file += stamp(i) + line(i) + QLatin1Char('\n');
        }
    };
    auto down = [](QTestEventList& keys, int n) {
        keys.addKeyClick(Qt::Key_Home, Qt::ControlModifier);
        for (int i = 0; i < n; ++i)
            keys.addKeyClick(Qt::Key_Down);
    };
    QStringList lines;
    QString file;

    logged(0, 40, &lines, &file);
    QTest::newRow("40 frames, three groups") << 40 << QTestEventList() << 0 << lines << file;

    // Home and End reach the ends of a line inside a group; the changed line keeps no time.
    QTestEventList keys;
    down(keys, 2);
    keys.addKeyClick(Qt::Key_Home);
    keys.addKeyClicks(QStringLiteral("<"));
    keys.addKeyClick(Qt::Key_End);
    keys.addKeyClicks(QStringLiteral(">"));
    lines = {}, file = {};
    logged(0, 2, &lines, &file);
    lines << QLatin1Char('<') + line(2) + QLatin1Char('>');
    file += lines.constLast() + QLatin1Char('\n');
    logged(3, 20, &lines, &file);
    QTest::newRow("Home and End in the middle") << 20 << keys << 0 << lines << file;

    // Enter splits a group: the typed line has no time, the frames on both sides keep theirs, later frames follow.
    keys.clear();
    down(keys, 5);
    keys.addKeyClick(Qt::Key_End);
    keys.addKeyClick(Qt::Key_Return);
    keys.addKeyClicks(QStringLiteral("note"));
    lines = {}, file = {};
    logged(0, 6, &lines, &file);
    lines << QStringLiteral("note");
    file += QStringLiteral("note\n");
    logged(6, 22, &lines, &file);
    QTest::newRow("a line typed between frames") << 20 << keys << 2 << lines << file;

    // Deleting the last line of the first group joins it to the next group's block.
    keys.clear();
    down(keys, 15);
    keys.addKeyClick(Qt::Key_Down, Qt::ShiftModifier);
    keys.addKeyClick(Qt::Key_Delete);
    lines = {}, file = {};
    logged(0, 15, &lines, &file);
    logged(16, 20, &lines, &file);
    QTest::newRow("a line deleted across groups") << 20 << keys << 0 << lines << file;

    keys.clear();
    keys.addKeyClick(Qt::Key_A, Qt::ControlModifier);
    keys.addKeyClicks(QStringLiteral("x"));
    lines = { QStringLiteral("x") };
    file = QStringLiteral("x\n");
    logged(3, 4, &lines, &file);
    QTest::newRow("all replaced by hand, then a frame") << 3 << keys << 1 << lines << file;
}

void TestMemoLog::linesCopyAccessibleTextAndSavedFile()
{
    QFETCH(int, before);
    QFETCH(QTestEventList, keys);
    QFETCH(int, after);
    QFETCH(QStringList, lines);
    QFETCH(QString, file);
    TForm1Probe probe;
    Log log(probe);
    LogMemo* memo = probe.ui().Memo1;
    probe.window().show();
    QVERIFY(QTest::qWaitForWindowExposed(&probe.window()));
    log.receive(0, before);
    memo->setFocus();
    keys.simulate(memo);
    log.receive(before, before + after);

    const QString text = lines.join(QLatin1Char('\n'));
    QCOMPARE(memo->toPlainText().split(QLatin1Char('\n')), lines);
    QTest::keyClick(memo, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(memo, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), text);
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(memo);
    QCOMPARE(accessible->role(), QAccessible::EditableText);
    QCOMPARE(accessible->text(QAccessible::Value), text);
    QAccessibleTextInterface* textInterface = accessible->textInterface();
    QVERIFY(textInterface);
    QCOMPARE(textInterface->text(0, textInterface->characterCount()), text);

    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("log.txt"));
    QString suggested;
    setSaveFileChooser([&](const QString&, const QString& name) {
        suggested = name;
        return path;
    });
    QVERIFY(triggerMenuEntry(memo, QStringLiteral("保存调试信息...")));
    setSaveFileChooser({});
    QVERIFY(QRegularExpression(QStringLiteral("^orvik-log-\\d{8}-\\d{6}\\.txt$")).match(suggested).hasMatch());
    QCOMPARE(readFile(path), file);
    QCOMPARE(probe.messages, QStringList());
}

// Root writes into read-only folders, so the failures are ones no user can bypass: a folder that is a regular file,
// and a file in /proc.
void TestMemoLog::failedSaveKeepsTheLog_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("reason");
    QTest::newRow("parent is a file") << QStringLiteral("%1/plain/log.txt") << QStringLiteral("Not a directory");
    QTest::newRow("/proc") << QStringLiteral("/proc/orvik-log.txt") << QString();
}

void TestMemoLog::failedSaveKeepsTheLog()
{
    QFETCH(QString, target);
    QFETCH(QString, reason);
    QTemporaryDir folder;
    QFile plain(folder.filePath(QStringLiteral("plain")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QString path = target.contains(QLatin1String("%1")) ? target.arg(folder.path()) : target;
    TForm1Probe probe;
    Log log(probe);
    LogMemo* memo = probe.ui().Memo1;
    probe.window().show();
    log.receive(QByteArray());
    log.receive(1, 3);
    const QStringList lines { QString(), line(1), line(2) };
    setSaveFileChooser([&](const QString&, const QString&) { return path; });
    QVERIFY(triggerMenuEntry(memo, QStringLiteral("保存调试信息...")));
    setSaveFileChooser({});

    QCOMPARE(probe.messages.size(), 1);
    QVERIFY2(probe.messages[0].contains(path) && probe.messages[0].contains(reason), qPrintable(probe.messages[0]));
    QVERIFY(!QFileInfo::exists(path));
    QCOMPARE(memo->toPlainText().split(QLatin1Char('\n')), lines);
    QCOMPARE(memo->lines(), lines); // the empty first frame keeps its line
}

// Qt's own entries of the memo's menu come in Chinese on a Chinese desktop, as Qt ships them under the C locale.
void TestMemoLog::qtMenuEntriesFollowTheLocale()
{
    TForm1Probe probe;
    probe.window().show();
    LogMemo* memo = probe.ui().Memo1;
    QVERIFY(!installQtTranslations(*QCoreApplication::instance()));
    QVERIFY(menuHas(memo, QStringLiteral("Select All")));
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    QVERIFY(installQtTranslations(*QCoreApplication::instance()));
    QVERIFY(menuHas(memo, QStringLiteral("全选")));
    QVERIFY(menuHas(memo, QStringLiteral("保存调试信息...")));
}

void TestMemoLog::distancesExportedFromTheSensorPanel_data()
{
    QTest::addColumn<QString>("target");
    QTest::newRow("saved") << QStringLiteral("%1/distances.csv");
    QTest::newRow("parent is a file") << QStringLiteral("%1/plain/distances.csv");
}

// Right-click on a slave row of the data page (display-only, so its own menu is not offered), export, and the file
// holds every distance shown since connecting; a failed write says which file and keeps the record for the next try.
void TestMemoLog::distancesExportedFromTheSensorPanel()
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
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    for (const char* reply : { "01 03 04 00 00 30 39 2E 21", "02 03 04 FF FF FF F0 88 A3" }) {
        probe.Timer1Timer();
        probe.receiveFrame(hexBytes(reply));
    }
    QWidget* row = probe.LinkBoxes()[1];
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), row->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(row, &event);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    QVERIFY(menu);
    QCOMPARE(menu->actions().size(), 3);
    QCOMPARE(menu->actions()[0]->text(), QStringLiteral("MQTT 发布..."));
    QCOMPARE(menu->actions()[1]->text(), QStringLiteral("距离曲线..."));
    QCOMPARE(menu->actions()[2]->text(), QStringLiteral("导出距离数据..."));
    QString suggested;
    setSaveFileChooser([&](const QString&, const QString& name) {
        suggested = name;
        return path;
    });
    menu->close();
    menu->actions()[2]->trigger();
    setSaveFileChooser({});
    QVERIFY(QRegularExpression(QStringLiteral("^orvik-distances-\\d{8}-\\d{6}\\.csv$")).match(suggested).hasMatch());
    if (target.contains(QLatin1String("plain/"))) {
        QCOMPARE(probe.messages.size(), 1);
        QVERIFY(probe.messages[0].contains(path));
        QVERIFY(!QFileInfo::exists(path));
        return;
    }
    QVERIFY(probe.messages.isEmpty());
    const QStringList rows = readFile(path).split(QStringLiteral("\r\n"));
    QCOMPARE(rows.size(), 4);
    QCOMPARE(rows[0], QStringLiteral("time,slave,distance_m"));
    QCOMPARE(rows[1].section(',', 1), QStringLiteral("1,1.235"));
    QCOMPARE(rows[2].section(',', 1), QStringLiteral("2,-0.001"));
    QCOMPARE(rows[3], QString());
    const QDateTime at = QDateTime::fromString(rows[1].section(',', 0, 0), Qt::ISODateWithMs);
    QVERIFY(at.isValid() && at.toMSecsSinceEpoch() >= before && at.toMSecsSinceEpoch() <= before + 60000);
}

QTEST_MAIN(TestMemoLog)
#include "tst_memo_log.moc"
