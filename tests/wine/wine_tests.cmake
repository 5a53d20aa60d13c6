# The Windows build's tests, run through Wine.
#
# - arvek_tests.exe: the core's unit tests, the contract suites against the
#   Windows adapter and the adapter's own tests (tests/win32), one ctest test
#   per GoogleTest case. Suites whose name contains "Windowing" run on a
#   virtual X display; a test that creates windows belongs in such a suite
#   (without a display Wine refuses the window, and the desktop process it
#   leaves behind for a moment refuses the next program's windows too).
#   Suites whose name contains "TolmServer" talk to the Tolm stand-in COM
#   server (tests/tools/tolm_standin), which the fixture "tolm_standin"
#   registers in the prefix before them and unregisters after them.
# - wine.tidewatch.*: Tidewatch.exe itself, driven by tidewatch_test.sh, and
#   wine.tidewatch.e2e, its run told by its file log (tidewatch_e2e_test.sh).
# - wine.window_tool.device_arrival: a device arrival's broadcast record
#   crosses from one process to another's window.
# - wine.strings.<locale>: LoadStringW on Tidewatch.exe under that interface
#   language (the string-table section at the end).
#
# Every Windows program runs through run-wine.sh, with a Wine prefix of its
# own inside the build tree (never ~/.wine). All of them share that prefix,
# its registry and its named objects, so they take one resource lock.

find_program(ARVEK_WINE wine REQUIRED)
find_program(ARVEK_WINESERVER wineserver REQUIRED)
find_program(ARVEK_WINEBOOT wineboot REQUIRED)
find_program(ARVEK_XVFB_RUN xvfb-run REQUIRED)
find_program(ARVEK_XAUTH xauth REQUIRED)  # xvfb-run needs it
find_program(ARVEK_FLOCK flock REQUIRED)

set(ARVEK_WINE_DIR ${CMAKE_BINARY_DIR}/wine)
set(ARVEK_WINE_RUN ${CMAKE_CURRENT_LIST_DIR}/run-wine.sh)
# ctest and the test discovery put this before every Windows program they run.
set(CMAKE_CROSSCOMPILING_EMULATOR ${ARVEK_WINE_RUN} ${ARVEK_WINE_DIR})
set(ARVEK_WINE_LOCK arvek_wine_prefix)

# GoogleTest from Debian's sources, built with the cross compiler.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

# The adapter's tests read the program's resources from the test program
# itself: the same script is compiled into it.
file(GLOB ARVEK_WIN32_TESTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/win32/*.cpp)
add_executable(arvek_tests ${ARVEK_UNIT_TESTS} ${ARVEK_CONTRACT_TESTS} ${ARVEK_WIN32_TESTS}
  ${PROJECT_SOURCE_DIR}/resources/tidewatch.rc)
target_include_directories(arvek_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(arvek_tests PRIVATE arvek_win32 gmock_main)
target_compile_definitions(arvek_tests PRIVATE ARVEK_SOURCE_DIR="${PROJECT_SOURCE_DIR}")

# The first discovery makes the Wine prefix (10-20 s), hence the long timeout.
# Left out: the XML contract's case of selection patterns MSXML rejects, on
# which Wine 8's msxml3 crashes (see tests/win32/xml_win32_test.cpp).
gtest_discover_tests(arvek_tests
  DISCOVERY_MODE PRE_TEST
  DISCOVERY_TIMEOUT 300
  TEST_FILTER "-*Windowing*:*TolmServer*:*DialogsDesktop*:*XmlContract.APathTheParserRejects*"
  PROPERTIES RESOURCE_LOCK ${ARVEK_WINE_LOCK})
gtest_discover_tests(arvek_tests
  DISCOVERY_MODE PRE_TEST
  DISCOVERY_TIMEOUT 300
  TEST_FILTER "*Windowing*"
  PROPERTIES RESOURCE_LOCK ${ARVEK_WINE_LOCK} ENVIRONMENT ARVEK_WINE_DISPLAY=xvfb)

# Finds and closes the agent's hidden window from outside, as another
# program of the session would.
add_executable(window-tool ${CMAKE_CURRENT_LIST_DIR}/window_tool.cpp)
target_compile_definitions(window-tool PRIVATE UNICODE _UNICODE)
target_link_options(window-tool PRIVATE -municode)
target_link_libraries(window-tool PRIVATE user32)
# The shell's contract starts a copy of it, found beside the test program.
add_dependencies(arvek_tests window-tool)

foreach(case image_building single_instance)
  add_test(NAME wine.tidewatch.${case}
    COMMAND ${ARVEK_XVFB_RUN} -a
            bash ${CMAKE_CURRENT_LIST_DIR}/tidewatch_test.sh ${case}
            ${ARVEK_WINE_RUN} ${ARVEK_WINE_DIR} $<TARGET_FILE:Tidewatch> $<TARGET_FILE:window-tool>)
  set_tests_properties(wine.tidewatch.${case} PROPERTIES RESOURCE_LOCK ${ARVEK_WINE_LOCK} TIMEOUT 300)
endforeach()

# The Tolm stand-in in the prefix: registered (wine regsvr32) before the
# tests that need it and removed after them, so that every other program in
# the prefix finds no Tolm component, as on a machine without it.
if(TARGET arvek_standin)  # tests/tools/tolm_standin is built then
  add_test(NAME wine.tolm_standin.register
    COMMAND ${ARVEK_WINE_RUN} ${ARVEK_WINE_DIR} regsvr32 /s $<TARGET_FILE:tolm_standin>)
  add_test(NAME wine.tolm_standin.unregister
    COMMAND ${ARVEK_WINE_RUN} ${ARVEK_WINE_DIR} regsvr32 /s /u $<TARGET_FILE:tolm_standin>)
  set_tests_properties(wine.tolm_standin.register PROPERTIES
    FIXTURES_SETUP tolm_standin RESOURCE_LOCK ${ARVEK_WINE_LOCK} TIMEOUT 300)
  set_tests_properties(wine.tolm_standin.unregister PROPERTIES
    FIXTURES_CLEANUP tolm_standin RESOURCE_LOCK ${ARVEK_WINE_LOCK})
  gtest_discover_tests(arvek_tests
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 300
    TEST_FILTER "*TolmServer*"
    PROPERTIES RESOURCE_LOCK ${ARVEK_WINE_LOCK} FIXTURES_REQUIRED tolm_standin)
  # The test program finds the DLL beside itself (for the unregistered case).
  add_dependencies(arvek_tests tolm_standin)

  # Tidewatch.exe end to end: start-up, the messages of the system sent from
  # another process, WM_CLOSE, told by its file log (tidewatch_e2e_test.sh).
  add_test(NAME wine.tidewatch.e2e
    COMMAND ${ARVEK_XVFB_RUN} -a
            bash ${CMAKE_CURRENT_LIST_DIR}/tidewatch_e2e_test.sh
            ${ARVEK_WINE_RUN} ${ARVEK_WINE_DIR} $<TARGET_FILE:Tidewatch> $<TARGET_FILE:window-tool>
            ${CMAKE_CURRENT_LIST_DIR}/tidewatch-e2e)
  set_tests_properties(wine.tidewatch.e2e PROPERTIES
    RESOURCE_LOCK ${ARVEK_WINE_LOCK} FIXTURES_REQUIRED tolm_standin TIMEOUT 300)
endif()

# A device arrival sent from another process: the broadcast record must reach
# the receiving window's process (device_arrival_test.sh).
add_test(NAME wine.window_tool.device_arrival
  COMMAND ${ARVEK_XVFB_RUN} -a
          bash ${CMAKE_CURRENT_LIST_DIR}/device_arrival_test.sh ${ARVEK_WINE_RUN} ${ARVEK_WINE_DIR} $<TARGET_FILE:window-tool>)
set_tests_properties(wine.window_tool.device_arrival PROPERTIES RESOURCE_LOCK ${ARVEK_WINE_LOCK} TIMEOUT 120)

# The string tables (resources/string_table.cmake). The test program compares
# the compiled tables of Tidewatch.exe and Portolan.exe, both read from beside
# it, with the generated table; its own copy of tidewatch.rc includes the
# fragment too.
target_link_libraries(arvek_tests PRIVATE arvek_strings)
get_target_property(ARVEK_STRINGS_DIR arvek_strings INTERFACE_INCLUDE_DIRECTORIES)
set_source_files_properties(${PROJECT_SOURCE_DIR}/resources/tidewatch.rc PROPERTIES
  OBJECT_DEPENDS "${ARVEK_STRINGS_DIR}/tidewatch_strings.rc;${PROJECT_SOURCE_DIR}/resources/arvek.ico;${PROJECT_SOURCE_DIR}/resources/tidewatch.manifest")
target_include_directories(arvek_tests PRIVATE $<$<COMPILE_LANGUAGE:RC>:${PROJECT_SOURCE_DIR}/resources>)
add_dependencies(arvek_tests Tidewatch Portolan arvek_strings_rc)

# LoadStringW under other interface languages, one run each. Wine takes the
# interface language from LC_ALL; the glibc locale made into the build folder
# (localedef, Debian's "locales"; LOCPATH) puts the Unix side of the process
# in the same locale without touching the system. ARVEK_EXPECT_UI_LANGUAGE
# makes the test fail when Wine did not take the language.
find_program(ARVEK_LOCALEDEF localedef REQUIRED)
set(ARVEK_LOCALE_DIR ${CMAKE_BINARY_DIR}/locales)
foreach(entry de_DE:0407 de_CH:0807 zh_HK:0C04 is_IS:040F)
  string(REPLACE ":" ";" entry ${entry})
  list(GET entry 0 locale)
  list(GET entry 1 ui_language)
  set(locale_path ${ARVEK_LOCALE_DIR}/${locale}.UTF-8)
  add_test(NAME wine.strings.locale.${locale}
    COMMAND sh -c "test -f '${locale_path}/LC_IDENTIFICATION' || { mkdir -p '${ARVEK_LOCALE_DIR}' && '${ARVEK_LOCALEDEF}' -i ${locale} -f UTF-8 '${locale_path}'; }")
  set_tests_properties(wine.strings.locale.${locale} PROPERTIES FIXTURES_SETUP arvek_locale_${locale})
  add_test(NAME wine.strings.${locale}
    COMMAND arvek_tests --gtest_filter=Win32StringTable.LoadStringWReadsTheBlockOfTheInterfaceLanguage)
  set_tests_properties(wine.strings.${locale} PROPERTIES
    ENVIRONMENT "LC_ALL=${locale}.UTF-8;LOCPATH=${ARVEK_LOCALE_DIR};ARVEK_EXPECT_UI_LANGUAGE=${ui_language}"
    FIXTURES_REQUIRED arvek_locale_${locale}
    RESOURCE_LOCK ${ARVEK_WINE_LOCK}
    PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] 1 test\\.")
endforeach()

# Portolan.exe, driven from the adapter's test program (suite
# PortolanWindowing): it needs an X display and the Tolm stand-in, and keeps
# a screenshot of the dialog in artifacts/portolan.bmp, which the next test
# turns into artifacts/portolan.png for people to look at.
set(ARVEK_ARTIFACTS_DIR ${CMAKE_BINARY_DIR}/artifacts)
file(MAKE_DIRECTORY ${ARVEK_ARTIFACTS_DIR})
target_compile_definitions(arvek_tests PRIVATE ARVEK_PORTOLAN_EXE="$<TARGET_FILE:Portolan>"
  ARVEK_ARTIFACTS_DIR="${ARVEK_ARTIFACTS_DIR}")
add_dependencies(arvek_tests Portolan)
if(TARGET arvek_standin)
  # In a Wine virtual desktop, which draws title bars where bare Xvfb has no
  # window manager to do it, so the screenshot shows the caption and icon.
  # explorer does not pass the test program's exit code on: its summary line
  # decides.
  add_test(NAME wine.portolan.dialog
    COMMAND ${ARVEK_XVFB_RUN} -a
            ${ARVEK_WINE_RUN} ${ARVEK_WINE_DIR} explorer /desktop=portolan,800x600
            $<TARGET_FILE:arvek_tests> --gtest_filter=PortolanWindowing.*)
  set_tests_properties(wine.portolan.dialog PROPERTIES
    RESOURCE_LOCK ${ARVEK_WINE_LOCK} FIXTURES_REQUIRED tolm_standin TIMEOUT 300
    PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] 2 tests\\."
    FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]")
  add_test(NAME wine.portolan.screenshot
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/scripts/bmp_to_png.py
            ${ARVEK_ARTIFACTS_DIR}/portolan.bmp ${ARVEK_ARTIFACTS_DIR}/portolan.png)
  set_tests_properties(wine.portolan.screenshot PROPERTIES DEPENDS wine.portolan.dialog)
endif()

# The agent's notification dialogs. They open only on firmware events, which
# Wine cannot raise, so dialog-host.exe shows one through the agent's
# handlers and the Windows adapter; it carries Tidewatch.exe's resource
# script (templates, icon, manifest, strings). The suite
# NotificationDialogsDesktop drives it from outside, in a Wine virtual
# desktop for the title bar, and keeps screenshots of both dialogs.
add_executable(dialog-host ${PROJECT_SOURCE_DIR}/tests/tools/dialog_host.cpp ${PROJECT_SOURCE_DIR}/resources/tidewatch.rc)
target_link_options(dialog-host PRIVATE -municode)
target_link_libraries(dialog-host PRIVATE arvek_win32)
target_include_directories(dialog-host PRIVATE $<$<COMPILE_LANGUAGE:RC>:${PROJECT_SOURCE_DIR}/resources>)
add_dependencies(dialog-host arvek_strings_rc)
add_dependencies(arvek_tests dialog-host)
target_compile_definitions(arvek_tests PRIVATE ARVEK_DIALOG_HOST_EXE="$<TARGET_FILE:dialog-host>")
add_test(NAME wine.notification_dialogs
  COMMAND ${ARVEK_XVFB_RUN} -a
          ${ARVEK_WINE_RUN} ${ARVEK_WINE_DIR} explorer /desktop=dialogs,800x600
          $<TARGET_FILE:arvek_tests> --gtest_filter=NotificationDialogsDesktop.*)
set_tests_properties(wine.notification_dialogs PROPERTIES
  RESOURCE_LOCK ${ARVEK_WINE_LOCK} TIMEOUT 300
  PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] 5 tests\\."
  FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]")
foreach(picture notification-dialog velashade-dialog)
  add_test(NAME wine.notification_dialogs.${picture}
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/scripts/bmp_to_png.py
            ${ARVEK_ARTIFACTS_DIR}/${picture}.bmp ${ARVEK_ARTIFACTS_DIR}/${picture}.png)
  set_tests_properties(wine.notification_dialogs.${picture} PROPERTIES DEPENDS wine.notification_dialogs)
endforeach()

# What the audit-log mirroring writes: Wine stores no event, but prints what
# ReportEventW was given on its debug channels (audit_log_test.sh compares
# it with what the mirroring must write).
add_executable(audit-log-host ${PROJECT_SOURCE_DIR}/tests/tools/audit_log_host.cpp)
target_link_options(audit-log-host PRIVATE -municode)
target_link_libraries(audit-log-host PRIVATE arvek_win32)
add_test(NAME wine.audit_log.written
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/audit_log_test.sh
          ${ARVEK_WINE_RUN} ${ARVEK_WINE_DIR} $<TARGET_FILE:audit-log-host> ${CMAKE_CURRENT_LIST_DIR}/audit-log)
set_tests_properties(wine.audit_log.written PROPERTIES RESOURCE_LOCK ${ARVEK_WINE_LOCK} TIMEOUT 300)

