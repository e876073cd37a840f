# Installs the build in BUILD_DIR into a scratch prefix under WORK_DIR, runs the installed
# ruzide, then builds and
# runs the application in CONSUMER_DIR against it twice: with find_package(RuzIde), and
# by hand with the flags of pkg-config's ruzide.pc; then builds the guide's example in
# EXAMPLE_DIR and runs it twice, the second run reading what the first wrote back. Fails
# on the first step that does.
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
  run("${what}" ${CMAKE_COMMAND} -E env RUZIDE_REGISTRY=${store} HOME=/home/demo ${ARGN})
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
foreach(internal platform/WinReg.h platform/WinTypes.h)
  if(EXISTS ${prefix}/include/RuzIde/${internal})
    message(FATAL_ERROR "${internal} is not part of the interface")
  endif()
endforeach()
foreach(file share/man/man1/ruzide.1 share/bash-completion/completions/ruzide)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
file(GLOB_RECURSE targets_file ${prefix}/*/RuzIdeTargets.cmake)
file(READ "${targets_file}" targets)
if(NOT targets MATCHES "cxx_std_17")
  message(FATAL_ERROR "RuzIde::RuzIde does not carry cxx_std_17")
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
run("compile" ${CXX_COMPILER} -std=c++17 -Wall -Wextra -Wpedantic -Werror ${cxx_flags}
    ${CONSUMER_DIR}/main.cpp ${pc_flags} -o ${WORK_DIR}/consumer-pc)
string(REGEX REPLACE ".*-L([^;]*).*" "\\1" libdir "${pc_flags}")
expect_output("pkg-config consumer" ${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${libdir}
              ${WORK_DIR}/consumer-pc)

# The guide's example: defaults first, then what the first run wrote back.
run("configure example" ${CMAKE_COMMAND} -S ${EXAMPLE_DIR} -B ${WORK_DIR}/example -G ${GENERATOR}
    -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DCMAKE_CXX_FLAGS=${CXX_FLAGS}
    -DCMAKE_PREFIX_PATH=${prefix})
run("build example" ${CMAKE_COMMAND} --build ${WORK_DIR}/example)
set(expected "runs=0 left=0 width=640 title=Untitled folder=%HOME%\\Documents (/home/demo\\Documents) recent=")
expect_output("example, first run" ${WORK_DIR}/example/settings-demo)
set(expected "runs=1 left=-1920 width=320 title=Untitled folder=%HOME%\\Documents (/home/demo\\Documents) recent=report-1.txt")
expect_output("example, second run" ${WORK_DIR}/example/settings-demo)

# The installed tool finds its settings module, and the module the library.
set(expected "Deutsch")
expect_output("installed ruzide" ${prefix}/bin/ruzide settings get Languages.Language1.Description)

# The example's schema, generated from its declaration and installed beside the
# library's: the installed tool lists, sets (clamped as the application clamps), reads
# and resets the example's settings without linking it.
run("install example" ${CMAKE_COMMAND} --install ${WORK_DIR}/example --prefix ${prefix})
foreach(schema user machine settings-demo)
  if(NOT EXISTS ${prefix}/share/ruzide/schemas/${schema}.schema)
    message(FATAL_ERROR "not installed: share/ruzide/schemas/${schema}.schema")
  endif()
endforeach()
run("list example" ${CMAKE_COMMAND} -E env RUZIDE_REGISTRY=${store}
    ${prefix}/bin/ruzide settings list settings-demo)
if(NOT run_output MATCHES "settings-demo +Window.Left +REG_DWORD +-1920 +registry +-7680..7680")
  message(FATAL_ERROR "ruzide settings list settings-demo printed:\n${run_output}")
endif()
set(expected "Window.Width = 7680 (9000 clamped to 320..7680)")
expect_output("set example" ${prefix}/bin/ruzide settings set window.width 9000)
set(expected "Window.Width = 640 (default)")
expect_output("reset example" ${prefix}/bin/ruzide settings reset Window.Width)
set(expected "runs=2 left=-1920 width=640 title=Untitled folder=%HOME%\\Documents (/home/demo\\Documents) recent=report-2.txt,report-1.txt")
expect_output("example after the tool" ${WORK_DIR}/example/settings-demo)
