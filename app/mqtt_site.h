// The window's side of publishing: the saved settings, the feed for the connected line, the publisher and its
// dialog. Off until the user (or the command line) turns it on: until then no broker is contacted, and the client's
// part (the MQTT library, TLS) is not even loaded.
#pragma once

#include "mqtt_feed.h"
#include "sample_time.h"

#include <QObject>
#include <QPointer>
#include <memory>

class MqttDialog;
class QWidget;

namespace orvik {
class MqttClient;
}

class MqttSite : public QObject {
    Q_OBJECT

public:
    explicit MqttSite(QWidget* window);
    ~MqttSite() override;

    // Settings for this run only (from the command line): used, never saved.
    void useRunSettings(orvik::MqttSettings settings);

    void lineUp(const QString& line);
    void lineDown();
    void distance(quint8 slave, qint32 value, const orvik::SampleTime& at);
    void slaveStatus(quint8 slave, bool online);
    void openDialog();

    // The settings file in the user's configuration folder, readable by its owner only.
    static orvik::MqttSettings loadSettings();
    static void saveSettings(const orvik::MqttSettings& settings);

private:
    void apply(const orvik::MqttSettings& settings);
    void startOnLine();
    void send(const std::vector<orvik::MqttMessage>& messages);
    void showLink();

    QWidget* m_window;
    QString m_hostName;
    orvik::MqttSettings m_settings;
    std::unique_ptr<orvik::MqttFeed> m_feed;
    std::unique_ptr<orvik::MqttClient> m_client; // created, with its part loaded, once publishing is turned on
    QString m_clientError; // why the client's part could not be loaded
    QString m_line; // the connected line; empty while none is
    QString m_willLine; // the line whose status the broker holds as the last will
    QPointer<MqttDialog> m_dialog;
};
