# Manual pages are made from each program's own --help by help2man, with the prose of
# docs/man/<name>.h2m around it, so the options on the page are always those the program takes.
find_program(HELP2MAN help2man REQUIRED)
find_program(GZIP gzip REQUIRED)

# vexla_man_page(NAME SECTION PROGRAM path DEPENDS target... [COMPONENT component])
# Writes <build>/man/NAME.SECTION.gz; with COMPONENT it is installed in share/man/manSECTION.
function(vexla_man_page name section)
  cmake_parse_arguments(PAGE "" "PROGRAM;COMPONENT" "DEPENDS" ${ARGN})
  set(include ${CMAKE_SOURCE_DIR}/docs/man/${name}.h2m)
  set(page ${CMAKE_BINARY_DIR}/man/${name}.${section})
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${HELP2MAN} --no-info --section=${section} --version-string=${PROJECT_VERSION}
            --include=${include} --output=${page} ${PAGE_PROGRAM}
    COMMAND ${GZIP} -9nf ${page}
    DEPENDS ${PAGE_DEPENDS} ${include}
    COMMENT "Manual page ${name}(${section})"
    VERBATIM)
  add_custom_target(${name}-man ALL DEPENDS ${page}.gz)
  if(PAGE_COMPONENT)
    include(GNUInstallDirs)
    install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} COMPONENT ${PAGE_COMPONENT})
  endif()
endfunction()
