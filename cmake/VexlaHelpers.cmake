# Host names of the LIVE and STAGING networks: an operator sets the real ones at build time.
set(VEXLA_LIVE_SERVERS "live1.vexla.invalid:33033 live2.vexla.invalid:33033" CACHE STRING "LIVE server list")
set(VEXLA_STAGING_SERVERS "staging1.vexla.invalid:33033 staging2.vexla.invalid:33033" CACHE STRING "STAGING server list")
set(VEXLA_LIVE_SDF_SERVER "sdf.vexla.invalid:80" CACHE STRING "LIVE discovery server")
set(VEXLA_STAGING_SDF_SERVER "sdf-staging.vexla.invalid:80" CACHE STRING "STAGING discovery server")

# The compiled-in server lists of the LIVE and STAGING networks (cache variables of the top level).
function(vexla_server_list_definitions target)
  target_compile_definitions(${target} PRIVATE
    VEXLA_LIVE_SERVERS="${VEXLA_LIVE_SERVERS}"
    VEXLA_STAGING_SERVERS="${VEXLA_STAGING_SERVERS}"
    VEXLA_LIVE_SDF_SERVER="${VEXLA_LIVE_SDF_SERVER}"
    VEXLA_STAGING_SDF_SERVER="${VEXLA_STAGING_SDF_SERVER}")
endfunction()
