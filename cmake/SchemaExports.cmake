# Writes the module-definition file that makes RuzIde.dll export the tree classes whole.
#
#   cmake -DNM=<nm> -DOBJECTS=<object|object|...> -DOUTPUT=<file.def> -P SchemaExports.cmake
#
# The classes of the two trees are defined in their headers. GCC emits every member of
# them into the schema objects (-fkeep-inline-functions) but exports, of a dllexport
# class, only the members that are defined out of line, its virtual table and its type
# information. This lists the rest: every member function of a CRDCL class the objects
# define, apart from the instances of the member templates that replay the declaration and
# stand for its empty positions.
string(REPLACE "|" ";" objects "${OBJECTS}")
execute_process(COMMAND ${NM} -g --defined-only ${objects}
                OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} failed on the schema objects")
endif()
string(REGEX MATCHALL "[0-9a-fA-F]+ T _ZNK?[0-9]+CRDCL[^\n]*" lines "${listing}")
set(names "")
foreach(line ${lines})
  string(REGEX REPLACE "^[0-9a-fA-F]+ T " "" name "${line}")
  if(NOT name MATCHES "RegDeclMemberI|RegDeclNameI")
    list(APPEND names "${name}")
  endif()
endforeach()
list(REMOVE_DUPLICATES names)
list(SORT names)
list(JOIN names "\n  " body)
file(WRITE "${OUTPUT}.new" "EXPORTS\n  ${body}\n")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
