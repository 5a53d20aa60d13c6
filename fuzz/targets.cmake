# libFuzzer targets over the simulated notebook (Linux, clang; the "fuzz"
# preset, ARVEK_FUZZ). Each reads one kind of firmware answer the way
# the programs do, with the fuzzer's bytes as the answer's text (UTF-8).
#
#   cmake --preset fuzz && cmake --build --preset fuzz
#   build/fuzz/bin/usbc_messages_fuzzer NEW_DIR fuzz/corpus/usbc_messages
#
# Targets:
#   usbc_messages_fuzzer  "Platform.USBC.Messages" through CUsbCBiosInfo::GetMessages
# The viewer's "Platform.USBC.Configuration" (CUsbCBiosInfo::GetUsbCConfigInfo)
# gets its own target here, usbc_config_fuzzer with a corpus in
# corpus/usbc_config, when that reading is written.
function(arvek_add_fuzzer name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE arvek_sim)
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endfunction()

arvek_add_fuzzer(usbc_messages_fuzzer ${CMAKE_CURRENT_LIST_DIR}/usbc_messages_fuzzer.cpp)
