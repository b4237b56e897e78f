add_library(orvik_serial STATIC
  serial_control.h
)
set_target_properties(orvik_serial PROPERTIES LINKER_LANGUAGE CXX)
target_include_directories(orvik_serial PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(orvik_serial PUBLIC Qt6::Core Qt6::SerialPort)
orvik_warnings(orvik_serial)
