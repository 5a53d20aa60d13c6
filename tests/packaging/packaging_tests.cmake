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

  # The package's tables, read back on Linux with msitools.
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  find_program(ARVEK_MSIINFO msiinfo REQUIRED)
  find_program(ARVEK_MSIEXTRACT msiextract REQUIRED)
  add_test(NAME package.tables
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/check_msi.py
            $<TARGET_PROPERTY:tidewatch_msi,ARVEK_MSI> $<TARGET_PROPERTY:tidewatch_msi,ARVEK_PREVIOUS_MSI>
            ${CMAKE_BINARY_DIR}/package/stage-package ${PROJECT_SOURCE_DIR}/policy/PolicyDefinitions
            $<TARGET_PROPERTY:tidewatch_msi,ARVEK_VERSION> $<TARGET_PROPERTY:tidewatch_msi,ARVEK_PRODUCT_NAME>
            $<TARGET_PROPERTY:tidewatch_msi,ARVEK_PORTOLAN_SHORTCUT> $<TARGET_PROPERTY:tidewatch_msi,ARVEK_PROGRAMS>
    COMMAND_EXPAND_LISTS)

  # Reads an installed shortcut's target and application id.
  add_executable(shortcut-tool ${CMAKE_CURRENT_LIST_DIR}/shortcut_tool.cpp)
  target_compile_definitions(shortcut-tool PRIVATE UNICODE _UNICODE)
  target_link_options(shortcut-tool PRIVATE -municode)
  target_link_libraries(shortcut-tool PRIVATE ole32 uuid propsys)

  # The package under Wine's msiexec: upgrade, what it adds, the agent from
  # its installed path, the uninstall (installer_wine_test.sh).
  add_test(NAME wine.package.install
    COMMAND ${ARVEK_XVFB_RUN} -a
            bash ${CMAKE_CURRENT_LIST_DIR}/installer_wine_test.sh ${ARVEK_WINE_RUN} ${ARVEK_WINE_DIR}
            $<TARGET_PROPERTY:tidewatch_msi,ARVEK_MSI> $<TARGET_PROPERTY:tidewatch_msi,ARVEK_PREVIOUS_MSI>
            ${CMAKE_BINARY_DIR}/package/stage-package $<TARGET_FILE:window-tool> $<TARGET_FILE:shortcut-tool>)
  set_tests_properties(wine.package.install PROPERTIES RESOURCE_LOCK ${ARVEK_WINE_LOCK} TIMEOUT 300)
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
