# The MQTT client over Eclipse Paho's asynchronous C library (with TLS), built into the optional part "orvik-mqtt"
# that the window loads on first use; the tests link the library directly.
find_package(OpenSSL REQUIRED) # named by the Paho package's own link interface
find_package(eclipse-paho-mqtt-c REQUIRED)
add_library(orvik_mqtt_client STATIC
  paho_client.h
  paho_client.cpp
  paho_session.h
  paho_session.cpp
)
target_include_directories(orvik_mqtt_client PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(orvik_mqtt_client PUBLIC orvik_link Qt6::Core PRIVATE eclipse-paho-mqtt-c::paho-mqtt3as)
orvik_warnings(orvik_mqtt_client)

orvik_add_part(orvik-mqtt mqtt_part.cpp)
target_link_libraries(orvik-mqtt PRIVATE orvik_mqtt_client)
