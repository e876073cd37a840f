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
