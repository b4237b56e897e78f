// The window's side of publishing: off by default, and the dialog reached through the data page's menu, whose
// settings are saved owner-only.
#include "form_probe.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTest>
#include <sys/stat.h>

namespace {

// Opens the data page's menu from a row and chooses its first entry with the keys.
QDialog* openDialogFromMenu(TForm1Probe& probe)
{
    QWidget* row = probe.LinkBoxes()[1];
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), row->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(row, &event);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu || menu->actions().first()->text() != QStringLiteral("MQTT 发布...")) return nullptr;
    QTest::keyClick(menu, Qt::Key_Down);
    QTest::keyClick(menu, Qt::Key_Return);
    return probe.window().findChild<QDialog*>(QStringLiteral("mqttDialog"));
}

} // namespace

class TestMqttWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void dialogSavesOwnerOnly();

private:
    QString m_path;
};

// CTest points XDG_CONFIG_HOME into the build tree; the test starts from no settings at all.
void TestMqttWindow::initTestCase()
{
    m_path = QSettings(QSettings::IniFormat, QSettings::UserScope, "OrvikMonitor", "mqtt").fileName();
    QVERIFY(m_path.startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")));
    QFile::remove(m_path);
}

void TestMqttWindow::dialogSavesOwnerOnly()
{
    TForm1Probe probe;
    probe.window().show();
    QDialog* dialog = openDialogFromMenu(probe);
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QVERIFY(!dialog->isModal());
    const auto text = [dialog](const char* name) { return dialog->findChild<QLabel*>(name)->text(); };
    QCOMPARE(text("mqttState"), QStringLiteral("未启用")); // off by default
    QCOMPARE(text("mqttCounts"), QStringLiteral("已发送 0 · 已丢弃 0 · 被拒 0"));

    auto* host = dialog->findChild<QLineEdit*>("mqttHost");
    auto* password = dialog->findChild<QLineEdit*>("mqttPassword");
    QCOMPARE(QAccessible::queryAccessibleInterface(host)->text(QAccessible::Name), QStringLiteral("代理主机"));
    QCOMPARE(QAccessible::queryAccessibleInterface(password)->text(QAccessible::Name), QStringLiteral("密码"));
    QCOMPARE(password->echoMode(), QLineEdit::Password);
    host->setFocus();
    QTest::keyClicks(host, QStringLiteral("broker.local"));
    password->setFocus();
    QTest::keyClicks(password, QStringLiteral("s3cret"));
    for (const char* box : { "mqttTls", "mqttEnabled" }) {
        dialog->findChild<QCheckBox*>(box)->setFocus();
        QTest::keyClick(dialog->findChild<QCheckBox*>(box), Qt::Key_Space);
    }
    QCOMPARE(dialog->findChild<QSpinBox*>("mqttPort")->value(), 8883);
    QTest::mouseClick(dialog->findChild<QPushButton*>("mqttApply"), Qt::LeftButton);
    QCOMPARE(text("mqttState"), QStringLiteral("等待联机")); // no line connected yet, so no broker is contacted

    const QString path = m_path;
    struct stat info { };
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, 0600u); // it holds the password
    QSettings saved(path, QSettings::IniFormat);
    QCOMPARE(saved.value("mqtt/host").toString(), QStringLiteral("broker.local"));
    QCOMPARE(saved.value("mqtt/tls").toBool(), true);
    QCOMPARE(saved.value("mqtt/enabled").toBool(), true);
}

QTEST_MAIN(TestMqttWindow)
#include "tst_mqtt_window.moc"
