// The small non-modal dialog "MQTT 发布": broker, TLS, credentials, topic prefix, Home Assistant and its discovery
// prefix, and the link's state with the counts of messages sent, dropped and refused. 应用 is refused while a prefix
// cannot be used, with the reason beside the field; 清除发布信息 asks for this monitor's retained messages to be
// cleared.
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
    void removeRequested();

private:
    bool prefixesAccepted();

    orvik::MqttSettings m_kept; // what the dialog does not show (a CA file from the command line)
    QCheckBox* m_enabled;
    QLineEdit* m_host;
    QSpinBox* m_port;
    QCheckBox* m_tls;
    QLineEdit* m_user;
    QLineEdit* m_password;
    QLineEdit* m_prefix;
    QLabel* m_prefixFault;
    QCheckBox* m_homeAssistant;
    QLineEdit* m_discoveryPrefix;
    QLabel* m_discoveryPrefixFault;
    QLabel* m_state;
    QLabel* m_counts;
};
