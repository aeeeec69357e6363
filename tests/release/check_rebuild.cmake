# cmake -DSOURCE= -DOUT= -DTOOLCHAIN= -DBUILD_TYPE= -DFILES=BUILT|REBUILT;... -P check_rebuild.cmake
cmake_minimum_required(VERSION 3.25)
# Builds LUMBREL.dll and its import libraries again in OUT, compiler cache
# off, and compares each built file with its rebuilt twin.
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${OUT} -G Ninja -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN}
                        -DCMAKE_BUILD_TYPE=${BUILD_TYPE} -DCMAKE_C_COMPILER_LAUNCHER= -DCMAKE_CXX_COMPILER_LAUNCHER=
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "configuring ${OUT} failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${OUT} --target lumbrel lumbrel_import_libs RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "building in ${OUT} failed")
endif()
foreach(pair IN LISTS FILES)
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 built)
  list(GET pair 1 rebuilt)
  file(SHA256 ${built} first)
  file(SHA256 ${OUT}/${rebuilt} second)
  if(NOT first STREQUAL second)
    message(FATAL_ERROR "${rebuilt} differs between ${built} and its rebuild in ${OUT}")
  endif()
endforeach()
message(STATUS "the rebuild in ${OUT} gave the same files")
