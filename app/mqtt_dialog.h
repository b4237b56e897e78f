// The small non-modal dialog "MQTT 发布": broker, TLS, credentials, topic prefix, Home Assistant, and the link's state
// with the counts of messages sent, dropped and refused.
#pragma once

#include "mqtt_feed.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QSpinBox;

class MqttDialog : public QDialog {
    Q_OBJECT

public:
    MqttDialog(const orvik::MqttSettings& settings, const QString& hostName, QWidget* parent);

    // `lastRefusal` ("topic: reason") adds a line under the counts while there is one.
    void showLink(const QString& state, quint64 sent, quint64 dropped, quint64 refused, const QString& lastRefusal);
    orvik::MqttSettings settings() const;

signals:
    void applied(const orvik::MqttSettings& settings);

private:
    orvik::MqttSettings m_kept; // what the dialog does not show (a CA file from the command line)
    QCheckBox* m_enabled;
    QLineEdit* m_host;
    QSpinBox* m_port;
    QCheckBox* m_tls;
    QLineEdit* m_user;
    QLineEdit* m_password;
    QLineEdit* m_prefix;
    QCheckBox* m_homeAssistant;
    QLabel* m_state;
    QLabel* m_counts;
};
