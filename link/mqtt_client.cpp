#include "mqtt_client.h"

#include "optional_part.h"

namespace orvik {

std::unique_ptr<MqttClient> createMqttClient(QString* error)
{
    MqttClientPart* part = optionalPart<MqttClientPart>(QStringLiteral("orvik-mqtt"), error);
    return part ? part->createClient() : nullptr;
}

} // namespace orvik
