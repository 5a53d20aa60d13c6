# The tests of what ships: the event message file (under Wine), the policy
# templates (natively, against the code's constants) and the installer
# package (its tables with msitools, and installed under Wine). Included by
# tests/CMakeLists.txt after the build's arvek_tests exists.

if(WIN32)
  # The message file, loaded from beside the test program.
  target_sources(arvek_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/event_messages_win32_test.cpp)
  target_compile_definitions(arvek_tests PRIVATE
    ARVEK_EVENT_MESSAGE_FIRST_ID=$<TARGET_PROPERTY:ArvekEventMessages,ARVEK_FIRST_ID>u
    ARVEK_EVENT_MESSAGE_LAST_ID=$<TARGET_PROPERTY:ArvekEventMessages,ARVEK_LAST_ID>u)
  add_dependencies(arvek_tests ArvekEventMessages)
endif()
