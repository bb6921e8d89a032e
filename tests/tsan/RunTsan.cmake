# Configures and builds the ThreadSanitizer project in BUILD_DIR, then runs each of its suites; any
# failure or ThreadSanitizer report fails the run.
#   cmake -DSOURCE_DIR=<tests/tsan> -DBUILD_DIR=<dir> -DMAIN_BINARY_DIR=<main build> -P RunTsan.cmake
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${BUILD_DIR} -G Ninja
                        -DCMAKE_BUILD_TYPE=Debug -DVEXLA_MAIN_BINARY_DIR=${MAIN_BINARY_DIR}
                RESULT_VARIABLE configured)
if(NOT configured EQUAL 0)
  message(FATAL_ERROR "ThreadSanitizer build: configuring failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} RESULT_VARIABLE built)
if(NOT built EQUAL 0)
  message(FATAL_ERROR "ThreadSanitizer build: building failed")
endif()

set(ENV{TSAN_OPTIONS} "halt_on_error=1:second_deadlock_stack=1:exitcode=66")
foreach(suite tsan_network tsan_netsim tsan_storage)
  if(EXISTS ${BUILD_DIR}/${suite})
    execute_process(COMMAND ${BUILD_DIR}/${suite} --gtest_brief=1 RESULT_VARIABLE passed)
    if(NOT passed EQUAL 0)
      message(FATAL_ERROR "${suite} failed under ThreadSanitizer (status ${passed})")
    endif()
  endif()
endforeach()
