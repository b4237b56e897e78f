add_library(orvik_link STATIC
  crc16.h crc16.cpp
  request_frame.h request_frame.cpp
  rx_assembly.h rx_assembly.cpp
  reply_decoder.h reply_decoder.cpp
  frame_meaning.h frame_meaning.cpp
  line_format.h line_format.cpp
  slave_statistics.h slave_statistics.cpp
  distance_log.h distance_log.cpp
  distance_series.h distance_series.cpp
  time_ticks.h time_ticks.cpp
  column_reduction.h column_reduction.cpp
  distance_text.h distance_text.cpp
  mqtt_feed.h mqtt_feed.cpp
  mqtt_queue.h mqtt_queue.cpp
  int_conversion.h int_conversion.cpp
  port_names.h port_names.cpp
  sample_time.h sample_time.cpp
  optional_part.h optional_part.cpp
  mqtt_client.h mqtt_client.cpp
)
target_include_directories(orvik_link PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(orvik_link PUBLIC Qt6::Core)
orvik_warnings(orvik_link)
target_compile_options(orvik_link PRIVATE -Wconversion)
# Home Assistant shows where announced sensors come from: the version and where to get help.
set(ORVIK_SUPPORT_URL "https://orvik.example.org/monitor/support" CACHE STRING
    "Support address announced to Home Assistant with each sensor")
target_compile_definitions(orvik_link PRIVATE ORVIK_VERSION="${PROJECT_VERSION}"
                                              ORVIK_SUPPORT_URL="${ORVIK_SUPPORT_URL}")
# Where the optional parts are found: beside an installed program, or in the build tree.
file(RELATIVE_PATH ORVIK_PARTS_RELATIVE_DIR /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${ORVIK_PARTS_INSTALL_DIR})
target_compile_definitions(orvik_link PRIVATE ORVIK_PARTS_RELATIVE_DIR="${ORVIK_PARTS_RELATIVE_DIR}"
                                              ORVIK_PARTS_BUILD_DIR="${ORVIK_PARTS_BUILD_DIR}")
