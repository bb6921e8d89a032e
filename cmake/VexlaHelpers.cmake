# Collects the sources of a folder tree; each area adds files without touching CMake.
function(vexla_glob out)
  set(files)
  foreach(pattern IN LISTS ARGN)
    file(GLOB_RECURSE found CONFIGURE_DEPENDS ${pattern})
    list(APPEND files ${found})
  endforeach()
  set(${out} ${files} PARENT_SCOPE)
endfunction()

# Links a target to each listed library that exists in this build.
function(vexla_link_existing target)
  foreach(lib IN LISTS ARGN)
    if(TARGET ${lib})
      target_link_libraries(${target} PRIVATE ${lib})
    endif()
  endforeach()
endfunction()
