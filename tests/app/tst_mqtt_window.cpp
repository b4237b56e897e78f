// The window's side of publishing: off by default, and the dialog reached through the data page's menu, whose
// settings are saved owner-only, without a password that came from the environment, and not at all while a prefix
// cannot be used.
#include "form_probe.h"
#include "optional_part.h"

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
#include <QScopeGuard>
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

void type(QDialog* dialog, const char* field, const QString& text)
{
    auto* edit = dialog->findChild<QLineEdit*>(field);
    edit->setFocus();
    QTest::keyClicks(edit, text);
}

void press(QDialog* dialog, const char* name)
{
    auto* widget = dialog->findChild<QAbstractButton*>(name);
    widget->setFocus();
    QTest::keyClick(widget, Qt::Key_Space);
}

} // namespace

class TestMqttWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void dialogSavesOwnerOnly();
    void badPrefixRefused();
    void environmentPasswordNotSaved();

private:
    QString m_path;
};

// CTest points XDG_CONFIG_HOME into the build tree; the test starts from no settings at all.
void TestMqttWindow::initTestCase()
{
    m_path = QSettings(QSettings::IniFormat, QSettings::UserScope, "OrvikMonitor", "mqtt").fileName();
    QVERIFY(m_path.startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")));
}

void TestMqttWindow::init()
{
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
    // Publishing off costs nothing: the client's part, the MQTT library and TLS load only when it is turned on.
    for (const char* library : { "orvik-mqtt.so", "libpaho-mqtt", "libssl.so" })
        QVERIFY2(!orvik::isLoadedInProcess(library), library);
    QTest::mouseClick(dialog->findChild<QPushButton*>("mqttApply"), Qt::LeftButton);
    QCOMPARE(text("mqttState"), QStringLiteral("等待联机")); // no line connected yet, so no broker is contacted
    for (const char* library : { "orvik-mqtt.so", "libpaho-mqtt", "libssl.so" })
        QVERIFY2(orvik::isLoadedInProcess(library), library);

    const QString path = m_path;
    struct stat info { };
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, 0600u); // it holds the password
    QSettings saved(path, QSettings::IniFormat);
    QCOMPARE(saved.value("mqtt/host").toString(), QStringLiteral("broker.local"));
    QCOMPARE(saved.value("mqtt/tls").toBool(), true);
    QCOMPARE(saved.value("mqtt/enabled").toBool(), true);
    QCOMPARE(saved.value("mqtt/password").toString(), QStringLiteral("s3cret")); // typed by the user
}

void TestMqttWindow::badPrefixRefused()
{
    TForm1Probe probe;
    probe.window().show();
    QDialog* dialog = openDialogFromMenu(probe);
    QVERIFY(dialog);
    press(dialog, "mqttEnabled");
    type(dialog, "mqttHost", QStringLiteral("broker.local"));
    type(dialog, "mqttPrefix", QStringLiteral("plant/+/x"));
    press(dialog, "mqttApply");
    auto* fault = dialog->findChild<QLabel*>("mqttPrefixFault");
    QVERIFY(fault->isVisible());
    QCOMPARE(fault->text(), QStringLiteral("不能含通配符 + 或 #"));
    QVERIFY(!dialog->findChild<QLabel*>("mqttDiscoveryPrefixFault")->isVisible());
    QVERIFY(!QFile::exists(m_path)); // nothing saved
    QCOMPARE(dialog->findChild<QLabel*>("mqttState")->text(), QStringLiteral("未启用")); // nor started
}

void TestMqttWindow::environmentPasswordNotSaved()
{
    qputenv("ORVIK_MQTT_PASSWORD", "from-env");
    const auto restore = qScopeGuard([] { qunsetenv("ORVIK_MQTT_PASSWORD"); });
    TForm1Probe probe;
    probe.window().show();
    QDialog* dialog = openDialogFromMenu(probe);
    QVERIFY(dialog);
    auto* password = dialog->findChild<QLineEdit*>("mqttPassword");
    QCOMPARE(password->text(), QString());
    QCOMPARE(password->placeholderText(), QStringLiteral("已设置 (环境变量)"));
    QCOMPARE(QAccessible::queryAccessibleInterface(password)->text(QAccessible::Description),
        QStringLiteral("已设置 (环境变量)"));
    press(dialog, "mqttEnabled");
    type(dialog, "mqttHost", QStringLiteral("broker.local"));
    press(dialog, "mqttApply");
    QCOMPARE(dialog->findChild<QLabel*>("mqttState")->text(), QStringLiteral("等待联机"));
    QFile file(m_path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray saved = file.readAll();
    QVERIFY(saved.contains("host=broker.local"));
    QVERIFY(!saved.contains("from-env"));
}

QTEST_MAIN(TestMqttWindow)
#include "tst_mqtt_window.moc"
