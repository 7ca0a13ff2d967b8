# Read by ctest when it lists its tests (the TEST_INCLUDE_FILES of tests/), as
# gtest_discover_tests does for Google Test: asks a built QtTest program for its functions and
# their rows, and adds one test for each row of a data-driven function and one for each other
# function, so that ctest can run them at the same time, and a row added to a table runs
# without a line here. The includer sets CMAKE (the cmake program), PROGRAM (the test
# program), NAME (the tests' prefix), ENVIRONMENT and TIMEOUT (every part's) and COST (what
# ctest weighs them by before it has timed them: the heaviest start first).

# Listing the rows runs no test; leaks at that exit are no test's business.
execute_process(COMMAND "${CMAKE}" -E env ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=offscreen
                        "${PROGRAM}" -datatags
    OUTPUT_VARIABLE listed RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    # Not built yet, or broken: one test that says so.
    add_test("${NAME}" "${PROGRAM}")
    return()
endif()
string(REPLACE "\n" ";" lines "${listed}")
foreach(line IN LISTS lines)
    if(NOT line MATCHES "^[^ ]+ ([^ ]+)( (.+))?$")
        continue()
    endif()
    set(seen -1)
    if(CMAKE_MATCH_3)
        list(FIND tags "${CMAKE_MATCH_3}" seen)
    endif()
    if(NOT seen EQUAL -1)
        # A row of the same name in another function: named by its function too.
        set(test "${NAME}:${CMAKE_MATCH_1}:${CMAKE_MATCH_3}")
        set(argument "${CMAKE_MATCH_1}:${CMAKE_MATCH_3}")
    elseif(CMAKE_MATCH_3)
        list(APPEND tags "${CMAKE_MATCH_3}")
        set(test "${NAME}:${CMAKE_MATCH_3}")
        set(argument "${CMAKE_MATCH_1}:${CMAKE_MATCH_3}")
    else()
        set(test "${NAME}:${CMAKE_MATCH_1}")
        set(argument "${CMAKE_MATCH_1}")
    endif()
    add_test("${test}" "${PROGRAM}" "${argument}")
    set_tests_properties("${test}" PROPERTIES ENVIRONMENT "${ENVIRONMENT}" TIMEOUT "${TIMEOUT}"
                         COST "${COST}")
endforeach()
