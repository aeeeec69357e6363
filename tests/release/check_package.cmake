# cmake -DBUILD= -DOUT= -DPACKAGE= -DSOURCE= -DZIP= -DPYTHON= -DVERSION= -P check_package.cmake
cmake_minimum_required(VERSION 3.25)
# Installs the build into PACKAGE and checks what an integrator gets: every
# file of the release, the version in the DLL's version resource, every
# export in the integrator's guide, and the same zip from two copies.
file(REMOVE_RECURSE ${PACKAGE} ${OUT}/copy ${OUT}/zip1 ${OUT}/zip2)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PACKAGE} RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed")
endif()
foreach(file bin/LUMBREL.dll bin/lumbrel-diag.exe include/lumbrel.h lib/LUMBREL.def lib/libLUMBREL.dll.a
             lib/LUMBREL.lib sim/LUMBRELSIM.dll sim/I2CDLL.dll sim/AfaApi.dll sim/lumbrel-sim-run.exe
             sim/README.md sim/machines/default.json docs/integrators-guide.md CHANGELOG.md
             examples/app/lumbrel_example.c)
  if(NOT EXISTS ${PACKAGE}/${file})
    message(SEND_ERROR "the package lacks ${file}")
  endif()
endforeach()

file(STRINGS ${PACKAGE}/bin/LUMBREL.dll versions ENCODING UTF-16LE REGEX "^[0-9]+\\.[0-9]+\\.[0-9]+$")
if(NOT VERSION IN_LIST versions)
  message(SEND_ERROR "LUMBREL.dll's version resource does not say ${VERSION} (${versions})")
endif()
file(READ ${PACKAGE}/CHANGELOG.md changelog)
if(NOT changelog MATCHES "\n## ${VERSION}\n")
  message(SEND_ERROR "CHANGELOG.md has no section for ${VERSION}")
endif()

file(READ ${PACKAGE}/docs/integrators-guide.md guide)
file(STRINGS ${SOURCE}/src/api/LUMBREL.def exports REGEX "^[ \t]+[_A-Za-z]")
foreach(line IN LISTS exports)
  string(REGEX REPLACE "^[ \t]+([^ \t=]+).*$" "\\1" name "${line}")
  string(REGEX REPLACE "^_(.*)@[0-9]+$" "\\1" name "${name}")
  if(NOT guide MATCHES "\\*\\*`${name}\\(")
    message(SEND_ERROR "the integrator's guide does not describe ${name}")
  endif()
endforeach()

# The zip depends on the files alone: not on where they lie or when they were made.
get_filename_component(name ${PACKAGE} NAME)
file(COPY ${PACKAGE} DESTINATION ${OUT}/copy)
file(TOUCH ${OUT}/copy/${name}/CHANGELOG.md)
foreach(n 1 2)
  set(tree ${PACKAGE})
  if(n EQUAL 2)
    set(tree ${OUT}/copy/${name})
  endif()
  execute_process(COMMAND ${PYTHON} ${ZIP} --source ${SOURCE} ${tree} ${OUT}/zip${n} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "make_zip.py failed")
  endif()
  file(SHA256 ${OUT}/zip${n}/${name}.zip zip${n})
endforeach()
if(NOT zip1 STREQUAL zip2)
  message(SEND_ERROR "two zips of the same tree differ")
endif()
