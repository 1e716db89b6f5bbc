# tests/consumer built with this toolchain and tested (cmake -P: CTEST, BINARY, TOOLCHAIN,
# BUILD_TYPE, READOBJ, OBJDUMP), its run of the program under Wine in the suite's prefix. The
# session is begun here, its processes' streams in files (they would hold a test's pipe open).
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/wine_common.cmake)

execute_process(COMMAND ${WINESERVER} -p OUTPUT_FILE "${PREFIX}.consumer.log"
                ERROR_FILE "${PREFIX}.consumer.log")
run_wine(consumer_session cmd /c exit)
get_filename_component(source "${CMAKE_CURRENT_LIST_DIR}/../.." ABSOLUTE)
execute_process(COMMAND ${CTEST} --build-and-test ${source}/tests/consumer ${BINARY}
                        --build-generator Ninja --build-options -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN}
                        -DCMAKE_BUILD_TYPE=${BUILD_TYPE} -DAESM_SOURCE_DIR=${source}
                        -DREADOBJ=${READOBJ} -DOBJDUMP=${OBJDUMP}
                        -DCHECK=${CMAKE_CURRENT_LIST_DIR}/check_image.cmake
                        --test-command ${CTEST} --output-on-failure
                RESULT_VARIABLE result)
end_wineserver()
if(NOT result EQUAL 0)
  message(FATAL_ERROR "ctest --build-and-test gave ${result}")
endif()
