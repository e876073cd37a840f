# ruzide_add_gtest(target prefix): registers a GoogleTest program with ctest.
#
# Natively each test case becomes a ctest test of its own. A cross-built program runs
# under the emulator (Wine), whose start-up costs seconds, so there the program runs
# once as a single test.
function(ruzide_add_gtest target prefix)
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${prefix}${target} COMMAND ${target})
  else()
    gtest_discover_tests(${target} TEST_PREFIX ${prefix} DISCOVERY_TIMEOUT 30)
  endif()
endfunction()

# ruzide_program_path(out target): the path of a built target as the tests' programs name
# it. Under Wine a Unix path is found through drive Z:, which Wine maps to the root of the
# Unix file system.
function(ruzide_program_path out target)
  if(WIN32 AND CMAKE_CROSSCOMPILING)
    set(${out} "Z:$<TARGET_FILE:${target}>" PARENT_SCOPE)
  else()
    set(${out} "$<TARGET_FILE:${target}>" PARENT_SCOPE)
  endif()
endfunction()
