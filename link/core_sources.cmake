add_library(orvik_link STATIC
  serial_control.h
)
set_target_properties(orvik_link PROPERTIES LINKER_LANGUAGE CXX)
target_include_directories(orvik_link PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(orvik_link PUBLIC Qt6::Core)
orvik_warnings(orvik_link)
target_compile_options(orvik_link PRIVATE -Wconversion)
