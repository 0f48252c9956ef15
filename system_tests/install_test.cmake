# Installs the build tree into a fresh prefix and runs the installed programs: the
# simulator and zelk_suite on the installed scenario scripts, and zelk_app.
#   cmake -DBUILD_DIR=... -DPREFIX=... -P install_test.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "install failed (${rc}):\n${log}")
endif()

file(GLOB scenarios "${PREFIX}/share/zelk/tc/*.zelk")
list(LENGTH scenarios count)
if(count LESS 10)
    message(FATAL_ERROR "the scenario suite is missing from share/zelk/tc (${count} files)")
endif()

set(script "${PREFIX}/share/zelk/tc/TC01_PowerButtonPressed1.zelk")
execute_process(COMMAND "${PREFIX}/bin/zelk_simulator" "${script}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT out MATCHES "\nRESULT PASS\n$" OR NOT err STREQUAL "")
    message(FATAL_ERROR "installed simulator failed (${rc}):\n${out}${err}")
endif()

execute_process(COMMAND "${PREFIX}/bin/zelk_suite" -j 2 "${PREFIX}/share/zelk/tc"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT out MATCHES "^${count} passed, 0 failed\n$" OR NOT err STREQUAL "")
    message(FATAL_ERROR "installed zelk_suite failed (${rc}):\n${out}${err}")
endif()

foreach(page IN ITEMS zelk_simulator zelk_suite zelk_app)
    if(NOT EXISTS "${PREFIX}/share/man/man1/${page}.1.gz")
        message(FATAL_ERROR "the manual page of ${page} is not installed")
    endif()
endforeach()

execute_process(COMMAND "${PREFIX}/bin/zelk_app" "${script}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT out STREQUAL "" OR NOT err STREQUAL "")
    message(FATAL_ERROR "installed zelk_app misbehaved (${rc}): '${out}${err}'")
endif()
file(REMOVE_RECURSE "${PREFIX}")
message(STATUS "installed programs ran from ${PREFIX}")
