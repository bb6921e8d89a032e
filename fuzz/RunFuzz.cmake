# Configures and builds the fuzz targets with clang in BUILD_DIR, then runs each one for SECONDS over
# its seed corpus (new inputs go to a scratch corpus in BUILD_DIR, the committed one stays as it is).
# A crash, a sanitizer report or a failed check fails the run.
#   cmake -DSOURCE_DIR=<fuzz> -DBUILD_DIR=<dir> -DSECONDS=<n> [-DTARGETS=a;b] -P RunFuzz.cmake
if(NOT DEFINED SECONDS)
  set(SECONDS 4)
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E env CC=clang CXX=clang++
                        ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${BUILD_DIR} -G Ninja -DCMAKE_BUILD_TYPE=Debug
                RESULT_VARIABLE configured)
if(NOT configured EQUAL 0)
  message(FATAL_ERROR "fuzz build: configuring failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target fuzzers RESULT_VARIABLE built)
if(NOT built EQUAL 0)
  message(FATAL_ERROR "fuzz build: building failed")
endif()

if(NOT TARGETS)
  file(READ ${BUILD_DIR}/targets.txt TARGETS)
endif()
set(ENV{ASAN_OPTIONS} "abort_on_error=1:detect_leaks=1:$ENV{ASAN_OPTIONS}")
set(ENV{UBSAN_OPTIONS} "print_stacktrace=1:halt_on_error=1:$ENV{UBSAN_OPTIONS}")
foreach(target IN LISTS TARGETS)
  set(scratch ${BUILD_DIR}/corpus/${target})
  file(MAKE_DIRECTORY ${scratch})
  string(TIMESTAMP started "%s")
  execute_process(COMMAND ${BUILD_DIR}/fuzz_${target} -max_total_time=${SECONDS} -timeout=10 -rss_limit_mb=4096
                          -print_final_stats=1 -artifact_prefix=${BUILD_DIR}/crash-${target}-
                          ${scratch} ${SOURCE_DIR}/${target}/corpus
                  RESULT_VARIABLE passed OUTPUT_VARIABLE output ERROR_VARIABLE output)
  string(TIMESTAMP ended "%s")
  math(EXPR took "${ended} - ${started}")
  string(REGEX MATCH "stat::number_of_executed_units: *[0-9]+" runs "${output}")
  string(REGEX REPLACE ".*: *" "" runs "${runs}")
  if(NOT passed EQUAL 0)
    message("${output}")
    message(FATAL_ERROR "fuzz_${target} failed (status ${passed}); the input is in ${BUILD_DIR}/crash-${target}-*")
  endif()
  message("fuzz_${target}: ${runs} inputs in ${took} s, no finding")
endforeach()
