# The replay test: makes the seeds, then runs every fuzz target over its seeds and over the
# inputs kept in regressions/, so that what a fuzzer once found stays fixed: an input that
# takes over a second fails as a hang.
#   cmake -D TARGETS="a;b" -D BINARY_DIR=<where fuzz-a is> -D SOURCE_DIR=<repository>
#         -P replay.cmake
cmake_minimum_required(VERSION 3.25)
set(seeds ${BINARY_DIR}/seeds)
set(regressions ${SOURCE_DIR}/fuzz/regressions)
file(REMOVE_RECURSE ${seeds})
execute_process(COMMAND ${BINARY_DIR}/bootvane-fuzz-seeds ${seeds} ${SOURCE_DIR}/tests/data/bmpsuite
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "The seeds could not be made: ${result}")
endif()

# A folder of regressions that no target reads would pass without being replayed.
file(GLOB kept LIST_DIRECTORIES true RELATIVE ${regressions} ${regressions}/*)
foreach(folder IN LISTS kept)
    if(NOT folder IN_LIST TARGETS)
        message(SEND_ERROR "regressions/${folder} belongs to no fuzz target")
    endif()
endforeach()

foreach(target IN LISTS TARGETS)
    set(folders ${seeds}/${target})
    if(IS_DIRECTORY ${regressions}/${target})
        list(APPEND folders ${regressions}/${target})
    endif()
    execute_process(COMMAND ${BINARY_DIR}/fuzz-${target} -timeout=1 ${folders}
                    RESULT_VARIABLE result ERROR_VARIABLE output)
    if(result EQUAL 0)
        string(REGEX MATCH "[0-9]+ inputs replayed" replayed "${output}")
        message(STATUS "${target}: ${replayed}")
    else()
        # The last input named is the one it failed on.
        message(SEND_ERROR "fuzz-${target} failed (${result}):\n${output}")
    endif()
endforeach()
