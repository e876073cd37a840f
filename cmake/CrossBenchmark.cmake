# Google Benchmark for a cross build. Debian ships it built for the host only, so the
# cross build compiles it from Debian's own source archive of the same version as the
# host's package, downloaded once into the build folder and checked against the archive's
# published SHA-256. Defines benchmark::benchmark, or warns and leaves it undefined when
# the source cannot be had (no network): the rest of the build goes on without benchmarks.
set(ruzide_benchmark_version 1.7.1)
set(ruzide_benchmark_sha256 6430e4092653380d9dc4ccb45a1e2dc9259d581f4866dc0759713126056bc1d7)
set(ruzide_benchmark_url
    http://deb.debian.org/debian/pool/main/b/benchmark/benchmark_${ruzide_benchmark_version}.orig.tar.gz)
set(deps ${CMAKE_BINARY_DIR}/_deps)
set(archive ${deps}/benchmark_${ruzide_benchmark_version}.orig.tar.gz)
set(source ${deps}/benchmark-${ruzide_benchmark_version})

function(ruzide_archive_ok out)
  set(${out} FALSE PARENT_SCOPE)
  if(EXISTS ${archive})
    file(SHA256 ${archive} sum)
    if(sum STREQUAL ruzide_benchmark_sha256)
      set(${out} TRUE PARENT_SCOPE)
    endif()
  endif()
endfunction()

ruzide_archive_ok(have_archive)
if(NOT have_archive)
  message(STATUS "Downloading Google Benchmark ${ruzide_benchmark_version} source: ${ruzide_benchmark_url}")
  file(DOWNLOAD ${ruzide_benchmark_url} ${archive} STATUS status)
  ruzide_archive_ok(have_archive)
  if(NOT have_archive)
    list(GET status 1 reason)
    file(REMOVE ${archive})
    message(WARNING "No Google Benchmark source (${reason}); the benchmarks are not built.")
    return()
  endif()
endif()
if(NOT EXISTS ${source}/CMakeLists.txt)
  file(ARCHIVE_EXTRACT INPUT ${archive} DESTINATION ${deps})
endif()

# What its feature checks, which cannot run the programs they build here, would find for
# mingw-w64; set, they are not tried (and do not warn).
set(HAVE_STD_REGEX 1)
set(HAVE_STEADY_CLOCK 1)
set(BENCHMARK_ENABLE_TESTING OFF CACHE BOOL "" FORCE)
set(BENCHMARK_ENABLE_GTEST_TESTS OFF CACHE BOOL "" FORCE)
set(BENCHMARK_ENABLE_INSTALL OFF CACHE BOOL "" FORCE)
set(BENCHMARK_ENABLE_WERROR OFF CACHE BOOL "" FORCE)
set(BENCHMARK_INSTALL_DOCS OFF CACHE BOOL "" FORCE)
add_subdirectory(${source} ${deps}/benchmark-build EXCLUDE_FROM_ALL)
