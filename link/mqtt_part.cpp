// The "orvik-mqtt" part: the MQTT client over Eclipse Paho, with TLS, loaded only once publishing is turned on.
#include "mqtt_client.h"
#include "paho_client.h"

#include <QObject>

namespace orvik {

class PahoClientPart : public QObject, public MqttClientPart {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "io.orvik.Monitor.MqttClientPart/1")
    Q_INTERFACES(orvik::MqttClientPart)

public:
    std::unique_ptr<MqttClient> createClient() override { return std::make_unique<PahoClient>(); }
};

} // namespace orvik

#include "mqtt_part.moc"
