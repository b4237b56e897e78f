#include "mqtt_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

using namespace orvik;

namespace {

constexpr int kPlainPort = 1883;
constexpr int kTlsPort = 8883;

} // namespace

MqttDialog::MqttDialog(const MqttSettings& settings, const QString& hostName, QWidget* parent)
    : QDialog(parent)
    , m_kept(settings)
    , m_enabled(new QCheckBox(QStringLiteral("启用发布"), this))
    , m_host(new QLineEdit(settings.host, this))
    , m_port(new QSpinBox(this))
    , m_tls(new QCheckBox(QStringLiteral("TLS 加密（系统 CA 证书）"), this))
    , m_user(new QLineEdit(settings.user, this))
    , m_password(new QLineEdit(settings.password, this))
    , m_prefix(new QLineEdit(settings.prefix, this))
    , m_homeAssistant(new QCheckBox(QStringLiteral("向 Home Assistant 通告传感器"), this))
    , m_state(new QLabel(this))
    , m_counts(new QLabel(this))
{
    setObjectName(QStringLiteral("mqttDialog"));
    setWindowTitle(QStringLiteral("MQTT 发布"));
    const std::pair<QWidget*, const char*> names[]
        = { { m_enabled, "mqttEnabled" }, { m_host, "mqttHost" }, { m_port, "mqttPort" }, { m_tls, "mqttTls" },
              { m_user, "mqttUser" }, { m_password, "mqttPassword" }, { m_prefix, "mqttPrefix" },
              { m_homeAssistant, "mqttHomeAssistant" }, { m_state, "mqttState" }, { m_counts, "mqttCounts" } };
    for (const auto& [widget, name] : names)
        widget->setObjectName(QLatin1String(name));
    m_enabled->setChecked(settings.enabled);
    m_port->setRange(1, 65535);
    m_port->setValue(settings.effectivePort());
    m_tls->setChecked(settings.tls);
    m_password->setEchoMode(QLineEdit::Password);
    m_prefix->setPlaceholderText(MqttSettings {}.effectivePrefix(hostName));
    m_homeAssistant->setChecked(settings.homeAssistant);
    // The usual port follows TLS unless the user chose another.
    connect(m_tls, &QCheckBox::toggled, this, [this](bool on) {
        if (m_port->value() == (on ? kPlainPort : kTlsPort)) m_port->setValue(on ? kTlsPort : kPlainPort);
    });

    auto* form = new QFormLayout;
    form->addRow(m_enabled);
    form->addRow(QStringLiteral("代理主机"), m_host);
    form->addRow(QStringLiteral("端口"), m_port);
    form->addRow(m_tls);
    form->addRow(QStringLiteral("用户名"), m_user);
    form->addRow(QStringLiteral("密码"), m_password);
    form->addRow(QStringLiteral("主题前缀"), m_prefix);
    form->addRow(m_homeAssistant);
    form->addRow(QStringLiteral("链接状态"), m_state);
    form->addRow(QStringLiteral("消息"), m_counts);
    m_state->setWordWrap(true);
    m_state->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* apply = buttons->addButton(QStringLiteral("应用"), QDialogButtonBox::ApplyRole);
    QPushButton* close = buttons->addButton(QStringLiteral("关闭"), QDialogButtonBox::RejectRole);
    apply->setObjectName(QStringLiteral("mqttApply"));
    connect(apply, &QPushButton::clicked, this, [this] { emit applied(this->settings()); });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(380);
}

void MqttDialog::showLink(
    const QString& state, quint64 sent, quint64 dropped, quint64 refused, const QString& lastRefusal)
{
    m_state->setText(state);
    QString counts = QStringLiteral("已发送 %1 · 已丢弃 %2 · 被拒 %3").arg(sent).arg(dropped).arg(refused);
    if (!lastRefusal.isEmpty()) counts += QStringLiteral("\n最近被拒: %1").arg(lastRefusal);
    m_counts->setText(counts);
}

MqttSettings MqttDialog::settings() const
{
    MqttSettings s = m_kept;
    s.enabled = m_enabled->isChecked();
    s.host = m_host->text().trimmed();
    s.tls = m_tls->isChecked();
    s.port = m_port->value();
    s.user = m_user->text();
    s.password = m_password->text();
    s.prefix = m_prefix->text().trimmed();
    s.homeAssistant = m_homeAssistant->isChecked();
    return s;
}
