# The serial control over Qt SerialPort, its line settings and the port map.
add_library(orvik_serial STATIC
  serial_control.h
  serial_settings.h
  serial_settings.cpp
  port_map.h
  port_map.cpp
  port_listing.h
  port_listing.cpp
  qt_serial_control.h
  qt_serial_control.cpp
  request_exchange.h
  request_exchange.cpp
)
target_include_directories(orvik_serial PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(orvik_serial PUBLIC orvik_link Qt6::Core Qt6::SerialPort)
orvik_warnings(orvik_serial)
target_compile_options(orvik_serial PRIVATE -Wconversion)

# The scripted serial control the tests use in place of a port.
add_library(orvik_link_fake STATIC
  fake_serial_control.h
  fake_serial_control.cpp
)
target_include_directories(orvik_link_fake PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(orvik_link_fake PUBLIC orvik_serial)
orvik_warnings(orvik_link_fake)
target_compile_options(orvik_link_fake PRIVATE -Wconversion)
