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

else()
  # The policy templates against the code's names, and what each of their
  # choices does to the programs on a simulated notebook (suite
  # PolicyTemplates); their well-formedness with xmllint.
  find_package(pugixml REQUIRED)
  target_sources(arvek_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/policy_templates_test.cpp)
  target_link_libraries(arvek_tests PRIVATE pugixml::pugixml)
  find_program(ARVEK_XMLLINT xmllint REQUIRED)  # Debian's libxml2-utils
  set(ARVEK_POLICY_DIR ${PROJECT_SOURCE_DIR}/policy)
  file(GLOB ARVEK_POLICY_TEMPLATES CONFIGURE_DEPENDS
    ${ARVEK_POLICY_DIR}/PolicyDefinitions/*.admx ${ARVEK_POLICY_DIR}/PolicyDefinitions/*/*.adml)
  add_test(NAME policy.well_formed COMMAND ${ARVEK_XMLLINT} --noout ${ARVEK_POLICY_TEMPLATES})
  # The README's example policy, taken unchanged by the simulated notebook.
  add_test(NAME policy.example
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/example_policy_test.sh $<TARGET_FILE:tidewatch-sim>
            ${CMAKE_CURRENT_LIST_DIR}/example-policy.scenario ${ARVEK_POLICY_DIR}/example-policy.reg
            ${PROJECT_SOURCE_DIR}/README.md)
endif()
