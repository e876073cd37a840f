# ruzide_add_settings_schema: makes an application's declared settings tree known to the
# ruzide tool, which does not link the application. At build time it compiles a small
# generator from the application's own declaration header, runs it, and so writes the
# schema file from the compiled tree itself; `cmake --install` puts the file where the
# tool looks (docs/declaring-settings.md).
#
#   ruzide_add_settings_schema(<target>
#     HEADER <header>            the header that declares the tree (REGDECL_ macros)
#     TREE <expression>          C++ expression giving the tree: its class, constructed
#                                (`CRDCLg_oDemo()`), or an existing root (`*GetCmnCUser()`)
#     [NAME <schema>]            the schema's name; default: <target>
#     [SUMMARIES <file>]         `<setting> = <one line>` per line
#     [CODE_PAGE <n>]            code page of the tree's strings; default 1252
#     [OUTPUT_DIRECTORY <dir>]   where the build writes <schema>.schema; default the
#                                current binary folder
#     [DESTINATION <dir>])       install folder; default <datadir>/ruzide/schemas
#
# <target> lends the generator its include folders and compile definitions and gets the
# schema as a dependency. Cross-compiling, the generator runs under
# CMAKE_CROSSCOMPILING_EMULATOR (Wine for Windows).
include_guard(GLOBAL)
include(GNUInstallDirs)

function(ruzide_add_settings_schema target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "HEADER;TREE;NAME;SUMMARIES;CODE_PAGE;OUTPUT_DIRECTORY;DESTINATION" "")
  if(NOT arg_HEADER OR NOT arg_TREE)
    message(FATAL_ERROR "ruzide_add_settings_schema(${target}): HEADER and TREE are required")
  endif()
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "ruzide_add_settings_schema(${target}): unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT arg_NAME)
    set(arg_NAME ${target})
  endif()
  if(NOT arg_CODE_PAGE)
    set(arg_CODE_PAGE 1252)
  endif()
  if(NOT arg_OUTPUT_DIRECTORY)
    set(arg_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  endif()
  if(NOT arg_DESTINATION)
    set(arg_DESTINATION ${CMAKE_INSTALL_DATADIR}/ruzide/schemas)
  endif()
  set(summaries "")
  if(arg_SUMMARIES)
    get_filename_component(summaries ${arg_SUMMARIES} ABSOLUTE)
  endif()
  get_filename_component(header ${arg_HEADER} ABSOLUTE)

  set(generator ${arg_NAME}-schema-generator)
  add_executable(${generator} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/RuzIdeSchemaGenerator.cpp)
  target_compile_definitions(${generator} PRIVATE
    "RUZIDE_SCHEMA_HEADER=\"${header}\"" "RUZIDE_SCHEMA_TREE=${arg_TREE}"
    $<TARGET_PROPERTY:${target},COMPILE_DEFINITIONS>)
  target_include_directories(${generator} PRIVATE $<TARGET_PROPERTY:${target},INCLUDE_DIRECTORIES>)
  target_link_libraries(${generator} PRIVATE RuzIde::RuzIde)
  set(run $<TARGET_FILE:${generator}>)
  if(CMAKE_CROSSCOMPILING AND CMAKE_CROSSCOMPILING_EMULATOR)
    set(run ${CMAKE_CROSSCOMPILING_EMULATOR} ${run})
  endif()
  if(WIN32)
    # The generator finds RuzIde.dll beside it.
    add_custom_command(TARGET ${generator} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:RuzIde::RuzIde>
              $<TARGET_FILE_DIR:${generator}>
      VERBATIM)
  endif()

  # Loading the library builds its trees, and building a tree reads it: off Windows the
  # generator reads a scratch store, with both roots read-only so that nothing is
  # written; on Windows (or Wine) it reads the registry as the application would.
  set(file ${arg_OUTPUT_DIRECTORY}/${arg_NAME}.schema)
  set(scratch ${CMAKE_CURRENT_BINARY_DIR}/${generator}-store)
  add_custom_command(OUTPUT ${file}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${scratch} ${arg_OUTPUT_DIRECTORY}
    COMMAND ${CMAKE_COMMAND} -E env RUZIDE_REGISTRY=${scratch}
            RUZIDE_REGISTRY_READONLY=HKEY_CURRENT_USER,HKEY_LOCAL_MACHINE
            ASAN_OPTIONS=detect_leaks=0
            ${run} ${file} ${arg_NAME} ${arg_CODE_PAGE} ${summaries}
    DEPENDS ${generator} ${summaries}
    COMMENT "Generating the settings schema ${arg_NAME}.schema"
    VERBATIM)
  add_custom_target(${arg_NAME}-schema ALL DEPENDS ${file})
  add_dependencies(${target} ${arg_NAME}-schema)
  install(FILES ${file} DESTINATION ${arg_DESTINATION})
endfunction()
