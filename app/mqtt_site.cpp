#include "mqtt_site.h"

#include "mqtt_client.h"
#include "mqtt_dialog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QSysInfo>

using namespace orvik;

namespace {

const QString kWaitingForLine = QStringLiteral("等待联机");
const QString kOff = QStringLiteral("未启用");
const QString kBadPrefix = QStringLiteral("未启用：设置文件中的主题前缀不可用");
constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

QSettings settingsFile()
{
    return QSettings(
        QSettings::IniFormat, QSettings::UserScope, QStringLiteral("OrvikMonitor"), QStringLiteral("mqtt"));
}

} // namespace

MqttSite::MqttSite(QWidget* window)
    : QObject(window)
    , m_window(window)
    , m_hostName(QSysInfo::machineHostName())
{
    apply(loadSettings());
}

// What the broker has not yet taken gets a second to go; then the session ends without a goodbye, so the broker
// publishes the line's last will.
MqttSite::~MqttSite()
{
    if (m_client) m_client->flush(1000);
}

MqttSettings MqttSite::loadSettings()
{
    QSettings file = settingsFile();
    MqttSettings s;
    s.enabled = file.value(QStringLiteral("mqtt/enabled"), false).toBool();
    s.host = file.value(QStringLiteral("mqtt/host")).toString();
    s.port = file.value(QStringLiteral("mqtt/port"), 0).toInt();
    s.tls = file.value(QStringLiteral("mqtt/tls"), false).toBool();
    s.user = file.value(QStringLiteral("mqtt/user")).toString();
    s.password = file.value(QStringLiteral("mqtt/password")).toString();
    s.prefix = file.value(QStringLiteral("mqtt/prefix")).toString();
    s.homeAssistant = file.value(QStringLiteral("mqtt/homeAssistant"), false).toBool();
    s.discoveryPrefix = file.value(QStringLiteral("mqtt/discoveryPrefix")).toString();
    if (s.password.isEmpty()) {
        s.password = qEnvironmentVariable("ORVIK_MQTT_PASSWORD");
        s.passwordFromEnvironment = !s.password.isEmpty();
    }
    return s;
}

// The file holds the password: it is made owner-only before anything is written to it, and Qt's atomic save keeps
// the permissions of the file it replaces.
void MqttSite::saveSettings(const MqttSettings& s)
{
    QSettings file = settingsFile();
    const QString path = file.fileName();
    QDir().mkpath(QFileInfo(path).absolutePath());
    {
        QFile touch(path);
        if (touch.open(QIODevice::Append)) touch.setPermissions(kOwnerOnly);
    }
    file.setValue(QStringLiteral("mqtt/enabled"), s.enabled);
    file.setValue(QStringLiteral("mqtt/host"), s.host);
    file.setValue(QStringLiteral("mqtt/port"), s.port);
    file.setValue(QStringLiteral("mqtt/tls"), s.tls);
    file.setValue(QStringLiteral("mqtt/user"), s.user);
    file.setValue(QStringLiteral("mqtt/password"), s.savedPassword());
    file.setValue(QStringLiteral("mqtt/prefix"), s.prefix);
    file.setValue(QStringLiteral("mqtt/homeAssistant"), s.homeAssistant);
    file.setValue(QStringLiteral("mqtt/discoveryPrefix"), s.discoveryPrefix);
    file.sync();
    QFile::setPermissions(path, kOwnerOnly);
}

void MqttSite::useRunSettings(MqttSettings settings)
{
    if (settings.password.isEmpty()) {
        const MqttSettings saved = loadSettings();
        settings.password = saved.password;
        settings.passwordFromEnvironment = saved.passwordFromEnvironment;
    }
    apply(settings);
}

// New settings start a new session (queued messages carry over); turned off, the client goes and the broker tells
// the line's subscribers that it is offline.
void MqttSite::apply(const MqttSettings& settings)
{
    m_settings = settings;
    m_willLine.clear();
    m_will = {};
    if (!settings.enabled || settings.host.isEmpty() || !settings.prefixesUsable()) {
        m_client.reset();
        m_feed.reset();
        showLink();
        return;
    }
    m_feed = std::make_unique<MqttFeed>(settings, m_hostName);
    if (!m_client) {
        m_client = createMqttClient(&m_clientError);
        if (!m_client) {
            m_feed.reset();
            showLink();
            return;
        }
        // After every (re)connect the broker learns the line's present state again: it may have published the last
        // will during a blip, or lost its retained messages in a restart.
        m_client->setEvents({ [this] { showLink(); },
            [this] {
                if (m_feed) send(m_feed->announcements());
            },
            [this](const MqttMessage& message) { received(message); } });
    }
    for (const QString& topic : m_feed->subscriptions())
        m_client->subscribe(topic);
    if (!m_line.isEmpty()) {
        const std::vector<MqttMessage> up = m_feed->lineUp(m_line);
        startOnLine();
        send(up);
    }
    showLink();
}

QString MqttSite::clientId() const
{
    return QStringLiteral("orvik-%1-%2").arg(m_hostName).arg(QCoreApplication::applicationPid()).left(64);
}

// The last will names the line, so the session starts (or starts again) when a line is connected, or when the
// feed's will changes.
void MqttSite::startOnLine()
{
    if (!m_client) return;
    const MqttMessage will = m_feed->will(m_line);
    if (m_willLine == m_line && m_will == will) return;
    m_willLine = m_line;
    m_will = will;
    m_client->start(m_settings, clientId(), will);
}

void MqttSite::lineUp(const QString& line)
{
    m_line = line;
    if (!m_feed) return;
    const std::vector<MqttMessage> up = m_feed->lineUp(line);
    startOnLine();
    send(up);
}

void MqttSite::lineDown()
{
    m_line.clear();
    if (m_feed) send(m_feed->lineDown());
}

void MqttSite::distance(quint8 slave, qint32 value, const orvik::SampleTime& at)
{
    if (m_feed) send(m_feed->distance(slave, value, at.wallMs));
}

void MqttSite::slaveStatus(quint8 slave, bool online)
{
    if (m_feed) send(m_feed->slaveStatus(slave, online));
}

// Home Assistant announcing itself hears everything again.
void MqttSite::received(const MqttMessage& message)
{
    if (m_feed) send(m_feed->heard(message));
}

// The session held so far would say the line is offline again when the monitor goes; it starts again with a will
// that clears the line's status instead.
void MqttSite::removeAnnouncements()
{
    if (!m_feed) return;
    send(m_feed->removeAnnouncements());
    if (m_willLine.isEmpty()) return;
    m_will = m_feed->will(m_willLine);
    m_client->start(m_settings, clientId(), m_will);
}

void MqttSite::send(const std::vector<MqttMessage>& messages)
{
    for (const MqttMessage& m : messages)
        m_client->publish(m);
}

void MqttSite::openDialog()
{
    if (!m_dialog) {
        m_dialog = new MqttDialog(m_settings, m_hostName, m_window);
        m_dialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_dialog, &MqttDialog::applied, this, [this](const MqttSettings& settings) {
            saveSettings(settings);
            apply(settings);
        });
        connect(m_dialog, &MqttDialog::removeRequested, this, &MqttSite::removeAnnouncements);
        showLink();
    }
    m_dialog->show();
    m_dialog->raise();
    m_dialog->activateWindow();
}

void MqttSite::showLink()
{
    if (!m_dialog) return;
    if (!m_client) {
        const bool wanted = m_settings.enabled && !m_settings.host.isEmpty();
        if (!m_settings.prefixesUsable())
            m_dialog->showLink(kBadPrefix, 0, 0, 0, {});
        else
            m_dialog->showLink(
                wanted ? QStringLiteral("无法加载 MQTT 组件: %1").arg(m_clientError) : kOff, 0, 0, 0, {});
        return;
    }
    const QString state = m_willLine.isEmpty() ? kWaitingForLine : m_client->stateText();
    m_dialog->showLink(state, m_client->sent(), m_client->dropped(), m_client->refused(), m_client->lastRefusal());
}
