# The event message file, ArvekEventMessages.dll: a DLL of resources only
# (no code, no entry point) whose message table holds "%1%0" for every event
# id from ARVEK_EVENT_MESSAGE_FIRST_ID to ARVEK_EVENT_MESSAGE_LAST_ID. The
# installer registers it for the event sources "Arvek Tarnwall", "Tidewatch"
# and "Portolan", so Event Viewer shows each entry's text instead of "The
# description for Event ID ... cannot be found".
#
# The range is every id the event log shows as an Event ID of its own,
# 0-65535: the programs' sources write the level numbers (0-6), and the
# firmware's audit entries carry their "event_id" text read as a decimal
# integer, which the firmware may make any 32-bit value. A message table
# needs an entry for each id, so it cannot cover all 2^32 of them; Event
# Viewer shows the low 16 bits of an id as its Event ID and the high 16 bits
# as its qualifiers, so 0-65535 are the ids it shows with qualifiers 0.
# An entry outside the range (65536 and above, or negative) still shows its
# text, after Windows' own "The description for Event ID N ... cannot be
# found" (docs/architecture.md, "The event message file").
#
# Included by src/win32/CMakeLists.txt (the Windows build only).

set(ARVEK_EVENT_MESSAGE_FIRST_ID 0)
set(ARVEK_EVENT_MESSAGE_LAST_ID 65535)

include(${PROJECT_SOURCE_DIR}/cmake/version_resource.cmake)
arvek_read_program_versions()

# windmc sits beside windres.
string(REGEX REPLACE "windres$" "windmc" ARVEK_WINDMC_NAME "${CMAKE_RC_COMPILER}")
find_program(ARVEK_WINDMC NAMES ${ARVEK_WINDMC_NAME} x86_64-w64-mingw32-windmc REQUIRED)

set(ARVEK_MESSAGES_DIR ${CMAKE_BINARY_DIR}/generated/messages)
set(ARVEK_MESSAGES_SOURCE ${PROJECT_SOURCE_DIR}/resources/messages)
configure_file(${ARVEK_MESSAGES_SOURCE}/event_messages_version.h.in ${ARVEK_MESSAGES_DIR}/event_messages_version.h @ONLY)

add_custom_command(
  OUTPUT ${ARVEK_MESSAGES_DIR}/event_messages.mc
  COMMAND Python3::Interpreter ${ARVEK_MESSAGES_SOURCE}/gen_event_messages.py
          ${ARVEK_MESSAGES_DIR}/event_messages.mc ${ARVEK_EVENT_MESSAGE_FIRST_ID} ${ARVEK_EVENT_MESSAGE_LAST_ID}
  DEPENDS ${ARVEK_MESSAGES_SOURCE}/gen_event_messages.py
  COMMENT "Generating the event messages ${ARVEK_EVENT_MESSAGE_FIRST_ID}-${ARVEK_EVENT_MESSAGE_LAST_ID}"
  VERBATIM)
# -A: the texts as 8-bit entries (plain ASCII here), a quarter smaller than
# UTF-16 ones; FormatMessageW widens them. windmc's own .rc and .h are not
# used: event_messages.rc sets the table's language itself.
add_custom_command(
  OUTPUT ${ARVEK_MESSAGES_DIR}/MSG00409.bin
  COMMAND ${CMAKE_COMMAND} -E make_directory ${ARVEK_MESSAGES_DIR}/windmc
  COMMAND ${ARVEK_WINDMC} -A -r ${ARVEK_MESSAGES_DIR}/windmc -h ${ARVEK_MESSAGES_DIR}/windmc -b
          ${ARVEK_MESSAGES_DIR}/event_messages.mc
  COMMAND ${CMAKE_COMMAND} -E copy ${ARVEK_MESSAGES_DIR}/windmc/event_messages_MSG00409.bin
          ${ARVEK_MESSAGES_DIR}/MSG00409.bin
  DEPENDS ${ARVEK_MESSAGES_DIR}/event_messages.mc
  COMMENT "Compiling the event messages (windmc)"
  VERBATIM)
add_custom_target(arvek_event_messages_bin DEPENDS ${ARVEK_MESSAGES_DIR}/MSG00409.bin)

add_library(ArvekEventMessages MODULE ${ARVEK_MESSAGES_SOURCE}/event_messages.rc)
set_target_properties(ArvekEventMessages PROPERTIES
  PREFIX ""
  LINKER_LANGUAGE C
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
target_include_directories(ArvekEventMessages PRIVATE $<$<COMPILE_LANGUAGE:RC>:${ARVEK_MESSAGES_DIR}>)
target_compile_definitions(ArvekEventMessages PRIVATE UNICODE _UNICODE)
# No C runtime and no entry point: the event log reads the file as data.
target_link_options(ArvekEventMessages PRIVATE -nostdlib -Wl,--entry,0 -Wl,--subsystem,windows -s)
set_source_files_properties(${ARVEK_MESSAGES_SOURCE}/event_messages.rc PROPERTIES
  OBJECT_DEPENDS "${ARVEK_MESSAGES_DIR}/MSG00409.bin;${ARVEK_MESSAGES_DIR}/event_messages_version.h")
add_dependencies(ArvekEventMessages arvek_event_messages_bin)
# The range, for the tests in other folders.
set_target_properties(ArvekEventMessages PROPERTIES
  ARVEK_FIRST_ID ${ARVEK_EVENT_MESSAGE_FIRST_ID} ARVEK_LAST_ID ${ARVEK_EVENT_MESSAGE_LAST_ID})
