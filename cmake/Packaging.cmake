# Desktop integration (entry, icon, software-centre data), manual pages, and the Debian package built by
# `cpack -G DEB` in the build folder. The work is deferred to the end of the top directory, so it sees every
# program target and the icon's path wherever this file is included from.
include_guard(GLOBAL)
include(GNUInstallDirs)

get_filename_component(ORVIK_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR}/../packaging ABSOLUTE)
set(ORVIK_PACKAGE_CONTACT "Orvik Monitor developers <orvik-monitor@example.org>"
    CACHE STRING "Maintainer of the Debian package")

# The icon is drawn at build time by the ui library's build; its path travels as a target property or a variable.
function(orvik_icon_source out)
  set(icon "")
  if(TARGET orvik_ui)
    get_target_property(icon orvik_ui ORVIK_ICON_PNG)
  endif()
  if(NOT icon AND ORVIK_ICON_PNG)
    set(icon ${ORVIK_ICON_PNG})
  endif()
  if(NOT icon)
    set(icon ${CMAKE_BINARY_DIR}/tools/gen_assets/orvik-monitor.png)
  endif()
  set(${out} ${icon} PARENT_SCOPE)
endfunction()

# Debian wants manual pages compressed; -n keeps the name and time out, so the same page gives the same bytes.
function(orvik_install_man_pages)
  find_program(ORVIK_GZIP gzip)
  set(man_dir ${CMAKE_BINARY_DIR}/packaging/man1)
  file(MAKE_DIRECTORY ${man_dir})
  foreach(page orvik-monitor.1 orvik-sim.1 orvik-collector.1)
    set(source ${ORVIK_PACKAGING_DIR}/${page})
    set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
    if(ORVIK_GZIP)
      execute_process(COMMAND ${ORVIK_GZIP} -9 -n -c ${source} OUTPUT_FILE ${man_dir}/${page}.gz
                      RESULT_VARIABLE failed)
      if(failed)
        message(FATAL_ERROR "Could not compress ${source}")
      endif()
      set(source ${man_dir}/${page}.gz)
    endif()
    install(FILES ${source} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
endfunction()

function(orvik_install_desktop_files)
  orvik_icon_source(icon)
  install(FILES ${ORVIK_PACKAGING_DIR}/orvik-monitor.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${ORVIK_PACKAGING_DIR}/io.orvik.Monitor.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps RENAME orvik-monitor.png)
  orvik_install_man_pages()
  # The collector's service: one instance a line, its settings in /etc/orvik/collector/<instance>.conf.
  install(FILES ${ORVIK_PACKAGING_DIR}/orvik-collector@.service DESTINATION lib/systemd/system)
endfunction()

function(orvik_configure_cpack)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME orvik-monitor)
  set(CPACK_PACKAGE_VENDOR Orvik)
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGE_CONTACT ${ORVIK_PACKAGE_CONTACT})
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Modbus RTU master for a line of distance sensors")
  string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Orvik Monitor polls and configures up to sixteen distance sensors that share\n"
    "one RS-485 line. It finds the line's baud rate, reads and writes a device's\n"
    "mode, delay, address and rate, shows each sensor's distance in metres and logs\n"
    "every received frame as hexadecimal text.\n"
    "\n"
    "orvik-collector reads a commissioned line around the clock without a screen,\n"
    "as a systemd service: every distance to an MQTT broker and to daily CSV files.\n"
    "\n"
    "orvik-sim plays a whole sensor line on a pseudo-terminal, for trying the\n"
    "monitor without hardware.")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # Loaded at run time, so no library scan finds them: the X11 platform plugin and the CJK font the
  # Chinese captions need (without it every character draws as the same box), and Qt's own translations for the
  # standard entries of the context menus.
  set(depends "qt6-qpa-plugins, fonts-wqy-microhei, qt6-translations-l10n")
  find_program(ORVIK_DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(ORVIK_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  else()
    string(APPEND depends ", libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4)"
           ", libqt6serialport6 (>= 6.4), libqt6printsupport6 (>= 6.4), libqcustomplot2.1-qt6, libjpeg62-turbo"
           ", libpaho-mqtt1.3, libssl3, libsystemd0"
           ", libc6, libstdc++6")
  endif()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS ${depends})
  set(CPACK_SOURCE_GENERATOR TGZ)
  set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build[^/]*/")
  include(CPack)
endfunction()

function(orvik_packaging)
  orvik_install_desktop_files()
  orvik_configure_cpack()
endfunction()

cmake_language(DEFER CALL orvik_packaging)
