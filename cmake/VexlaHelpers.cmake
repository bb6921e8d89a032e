# Host names of the LIVE network (eight) and the STAGING network (one), all reached on port 9010: an
# operator sets the real ones at build time.
set(VEXLA_LIVE_SERVER_HOSTS
    "live1.vexla.invalid live2.vexla.invalid live3.vexla.invalid live4.vexla.invalid live5.vexla.invalid live6.vexla.invalid live7.vexla.invalid live8.vexla.invalid"
    CACHE STRING "LIVE server host names, eight, blank-separated")
set(VEXLA_STAGING_SERVER_HOST "staging.vexla.invalid" CACHE STRING "STAGING server host name")
set(VEXLA_LIVE_SDF_SERVER "sdf.vexla.invalid:80" CACHE STRING "LIVE discovery server")
set(VEXLA_STAGING_SDF_SERVER "sdf-staging.vexla.invalid:80" CACHE STRING "STAGING discovery server")

# The compiled-in server lists of the LIVE and STAGING networks (cache variables of the top level).
function(vexla_server_list_definitions target)
  separate_arguments(live_hosts UNIX_COMMAND "${VEXLA_LIVE_SERVER_HOSTS}")
  separate_arguments(staging_hosts UNIX_COMMAND "${VEXLA_STAGING_SERVER_HOST}")
  list(LENGTH live_hosts live_count)
  list(LENGTH staging_hosts staging_count)
  if(NOT live_count EQUAL 8 OR NOT staging_count EQUAL 1)
    message(FATAL_ERROR "VEXLA_LIVE_SERVER_HOSTS needs eight host names (has ${live_count}) and "
                        "VEXLA_STAGING_SERVER_HOST one (has ${staging_count})")
  endif()
  target_compile_definitions(${target} PRIVATE
    VEXLA_LIVE_SERVER_HOSTS="${VEXLA_LIVE_SERVER_HOSTS}"
    VEXLA_STAGING_SERVER_HOST="${VEXLA_STAGING_SERVER_HOST}"
    VEXLA_LIVE_SDF_SERVER="${VEXLA_LIVE_SDF_SERVER}"
    VEXLA_STAGING_SDF_SERVER="${VEXLA_STAGING_SDF_SERVER}")
endfunction()
