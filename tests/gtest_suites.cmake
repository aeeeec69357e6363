# Read by CTest when it lists the tests: one test per GoogleTest suite of
# `program`, each running that suite's tests in one process. A process of a
# sanitizer build takes about 0.15 s to start, more than most suites take to
# run, so a process per test would spend most of the run starting.
# Set before inclusion: program, directory (the working directory).
if(NOT EXISTS "${program}")
  add_test(lumbrel_unit_tests_NOT_BUILT "${program}")
  return()
endif()
execute_process(COMMAND "${program}" --gtest_list_tests
                OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  # Listed as a test that fails, with the program's own message.
  add_test(lumbrel_unit_tests_LIST "${program}" --gtest_list_tests)
  return()
endif()
string(REPLACE "\n" ";" lines "${listing}")
foreach(line IN LISTS lines)
  # A suite's line names it flush left, with a dot ("Prefix/Suite." for a
  # parameterised one); its tests follow indented.
  if(line MATCHES "^([A-Za-z0-9_/]+)\\.")
    add_test("${CMAKE_MATCH_1}" "${program}" "--gtest_filter=${CMAKE_MATCH_1}.*")
    set_tests_properties("${CMAKE_MATCH_1}" PROPERTIES WORKING_DIRECTORY "${directory}")
  endif()
endforeach()
