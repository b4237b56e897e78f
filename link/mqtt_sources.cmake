# The MQTT publisher: libmosquitto driven from the Qt event loop (QtCore only, no widgets).
find_package(PkgConfig REQUIRED)
pkg_check_modules(MOSQUITTO REQUIRED IMPORTED_TARGET libmosquitto)
add_library(orvik_mqtt STATIC
  mqtt_publisher.h
  mqtt_publisher.cpp
)
target_include_directories(orvik_mqtt PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(orvik_mqtt PUBLIC orvik_link Qt6::Core PRIVATE PkgConfig::MOSQUITTO)
orvik_warnings(orvik_mqtt)
target_compile_options(orvik_mqtt PRIVATE -Wconversion)
