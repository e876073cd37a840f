# Installs the build in BUILD_DIR into a scratch prefix under WORK_DIR, then builds and
# runs the application in CONSUMER_DIR against it twice: with find_package(RuzIde), and
# by hand with the flags of pkg-config's ruzide.pc. Fails on the first step that does.
cmake_minimum_required(VERSION 3.25)

set(prefix ${WORK_DIR}/prefix)
set(store ${WORK_DIR}/store)
set(expected "installed=6 count=6 first=Deutsch mnemonic=1")
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${store})

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}\n${err}")
  endif()
  set(run_output "${out}" PARENT_SCOPE)
endfunction()

function(expect_output what)
  run("${what}" ${CMAKE_COMMAND} -E env RUZIDE_REGISTRY=${store} ${ARGN})
  string(STRIP "${run_output}" out)
  if(NOT out STREQUAL expected)
    message(FATAL_ERROR "${what} printed '${out}', expected '${expected}'")
  endif()
endfunction()

run("install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(header RuzIde.h framework/RegDeclare.h platform/CString.h schema/RegCmnLMach.h)
  if(NOT EXISTS ${prefix}/include/RuzIde/${header})
    message(FATAL_ERROR "not installed: include/RuzIde/${header}")
  endif()
endforeach()
if(EXISTS ${prefix}/include/RuzIde/platform/WinReg.h)
  message(FATAL_ERROR "the registry functions' header is not part of the interface")
endif()

# find_package
run("configure" ${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/consumer -G ${GENERATOR}
    -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DCMAKE_CXX_FLAGS=${CXX_FLAGS}
    -DCMAKE_PREFIX_PATH=${prefix})
run("build" ${CMAKE_COMMAND} --build ${WORK_DIR}/consumer)
expect_output("consumer" ${WORK_DIR}/consumer/consumer)

# pkg-config
find_program(PKG_CONFIG pkg-config REQUIRED)
file(GLOB pc_file ${prefix}/lib*/pkgconfig/ruzide.pc ${prefix}/lib/*/pkgconfig/ruzide.pc)
get_filename_component(pc_dir "${pc_file}" DIRECTORY)
run("pkg-config" ${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${pc_dir}
    ${PKG_CONFIG} --cflags --libs ruzide)
string(STRIP "${run_output}" pc_flags)
separate_arguments(pc_flags UNIX_COMMAND "${pc_flags}")
separate_arguments(cxx_flags UNIX_COMMAND "${CXX_FLAGS}")
run("compile" ${CXX_COMPILER} -std=c++17 -Wall -Wextra -Werror ${cxx_flags}
    ${CONSUMER_DIR}/main.cpp ${pc_flags} -o ${WORK_DIR}/consumer-pc)
string(REGEX REPLACE ".*-L([^;]*).*" "\\1" libdir "${pc_flags}")
expect_output("pkg-config consumer" ${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${libdir}
              ${WORK_DIR}/consumer-pc)
