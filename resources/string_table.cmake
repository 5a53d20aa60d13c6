# Both programs' string tables, generated from resources/strings/*.txt (one
# UTF-8 file per language) by scripts/gen_string_table.py into
# ${ARVEK_STRINGS_DIR}:
#   tidewatch_strings.rc, portolan_strings.rc  STRINGTABLE fragments that the
#                                              programs' resource scripts include
#   string_table.h/.cpp                        the same tables as C++ data: the
#                                              library arvek_strings
# Included once per build, by the adapter of the build (src/sim, src/win32).
# A new language file is picked up at the next build (the folder is globbed).

find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(ARVEK_STRINGS_DIR ${CMAKE_BINARY_DIR}/generated/strings)
set(ARVEK_STRINGS_GENERATOR ${PROJECT_SOURCE_DIR}/scripts/gen_string_table.py)
file(GLOB ARVEK_STRING_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/resources/strings/*.txt)
set(ARVEK_STRINGS_RC
  ${ARVEK_STRINGS_DIR}/tidewatch_strings.rc
  ${ARVEK_STRINGS_DIR}/portolan_strings.rc)

add_custom_command(
  OUTPUT ${ARVEK_STRINGS_DIR}/string_table.h ${ARVEK_STRINGS_DIR}/string_table.cpp ${ARVEK_STRINGS_RC}
  COMMAND Python3::Interpreter ${ARVEK_STRINGS_GENERATOR} --output ${ARVEK_STRINGS_DIR} ${ARVEK_STRING_SOURCES}
  DEPENDS ${ARVEK_STRINGS_GENERATOR} ${ARVEK_STRING_SOURCES}
  COMMENT "Generating the string tables from resources/strings"
  VERBATIM)

# The resource fragments for targets in other folders: a target that compiles
# a script including them depends on arvek_strings_rc, and the script itself
# on the fragments (OBJECT_DEPENDS), so an edited translation recompiles it.
add_custom_target(arvek_strings_rc DEPENDS ${ARVEK_STRINGS_RC})

add_library(arvek_strings STATIC ${ARVEK_STRINGS_DIR}/string_table.cpp ${ARVEK_STRINGS_DIR}/string_table.h)
target_include_directories(arvek_strings PUBLIC ${ARVEK_STRINGS_DIR})
