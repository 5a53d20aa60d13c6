# libFuzzer targets over the simulated notebook (Linux, clang; the "fuzz"
# preset, ARVEK_FUZZ). Each reads one kind of untrusted text the way the
# programs or the simulation do (a firmware answer, a user's scenario or
# .reg file), with the fuzzer's bytes as that text (UTF-8).
#
#   cmake --preset fuzz && cmake --build --preset fuzz
#   build/fuzz/bin/usbc_messages_fuzzer NEW_DIR fuzz/corpus/usbc_messages
#
# Targets, each with a seed corpus in corpus/<name without _fuzzer>:
#   usbc_messages_fuzzer  "Platform.USBC.Messages" through CUsbCBiosInfo::GetMessages
#   usbc_config_fuzzer    "Platform.USBC.Configuration" through CUsbCBiosInfo::GetUsbCConfigInfo
#   scenario_fuzzer       a scenario file, through the scenario reader
#   reg_file_fuzzer       a .reg file through the simulated notebook's reader and registry
#   audit_log_fuzzer      "EmbeddedController.AuditLog" through CTarnwallLog::AddLogsToEventViewer
function(arvek_add_fuzzer name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE arvek_sim)
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endfunction()

arvek_add_fuzzer(usbc_messages_fuzzer ${CMAKE_CURRENT_LIST_DIR}/usbc_messages_fuzzer.cpp)
arvek_add_fuzzer(usbc_config_fuzzer ${CMAKE_CURRENT_LIST_DIR}/usbc_config_fuzzer.cpp)
arvek_add_fuzzer(scenario_fuzzer ${CMAKE_CURRENT_LIST_DIR}/scenario_fuzzer.cpp)
arvek_add_fuzzer(reg_file_fuzzer ${CMAKE_CURRENT_LIST_DIR}/reg_file_fuzzer.cpp)
arvek_add_fuzzer(audit_log_fuzzer ${CMAKE_CURRENT_LIST_DIR}/audit_log_fuzzer.cpp)
