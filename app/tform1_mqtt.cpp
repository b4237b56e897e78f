// Publishing what the window shows: the hooks the receive step, the polling cycle and connecting call, each one line.
#include "mqtt_site.h"
#include "tform1.h"

void TForm1::createMqttSite()
{
    m_mqtt = std::make_unique<MqttSite>(this);
}

void TForm1::useMqttSettings(const orvik::MqttSettings& settings)
{
    m_mqtt->useRunSettings(settings);
}

void TForm1::openMqttDialog()
{
    m_mqtt->openDialog();
}

void TForm1::mqttDistance(quint8 slave, qint32 value, const orvik::SampleTime& at)
{
    m_mqtt->distance(slave, value, at);
}

void TForm1::mqttSlaveStatus(quint8 slave, bool online)
{
    m_mqtt->slaveStatus(slave, online);
}

// The line is named as the port list shows it (COM7).
void TForm1::mqttLine(bool up)
{
    if (up)
        m_mqtt->lineUp(ComboBox1->itemText(ComboBox1->itemIndex()));
    else
        m_mqtt->lineDown();
}
