# Installs the D-Bus activation files of one bus (the *.service.in templates of the calling folder)
# into share/vexla/dbus-1/<bus>-services, and a configuration that starts such a bus:
#   dbus-daemon --config-file=<prefix>/share/vexla/dbus-1/<bus>-bus.conf --print-address
# scripts/write-bus-services writes the same files for a build tree.
include(GNUInstallDirs)

function(vexla_bus_services bus)
  set(VEXLAD_EXEC "${CMAKE_INSTALL_FULL_SBINDIR}/vexlad")
  set(MARLOSERVICE_EXEC "${CMAKE_INSTALL_FULL_SBINDIR}/marloservice")
  set(destination ${CMAKE_INSTALL_DATADIR}/vexla/dbus-1)
  file(GLOB templates CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.service.in)
  foreach(template IN LISTS templates)
    get_filename_component(name ${template} NAME_WLE)
    configure_file(${template} ${CMAKE_CURRENT_BINARY_DIR}/${name} @ONLY)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${name} DESTINATION ${destination}/${bus}-services)
  endforeach()
  set(LISTEN "unix:tmpdir=/tmp")
  set(SERVICEDIR "${CMAKE_INSTALL_FULL_DATADIR}/vexla/dbus-1/${bus}-services")
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/bus.conf.in ${CMAKE_CURRENT_BINARY_DIR}/${bus}-bus.conf @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${bus}-bus.conf DESTINATION ${destination})
endfunction()
