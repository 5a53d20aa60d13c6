# The Windows build's tests, run through Wine.
#
# - arvek_tests.exe: the core's unit tests, the contract suites against the
#   Windows adapter and the adapter's own tests (tests/win32), one ctest test
#   per GoogleTest case. Suites whose name contains "Windowing" run on a
#   virtual X display; a test that creates windows belongs in such a suite
#   (without a display Wine refuses the window, and the desktop process it
#   leaves behind for a moment refuses the next program's windows too).
# - wine.tidewatch.*: Tidewatch.exe itself, driven by tidewatch_test.sh.
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
gtest_discover_tests(arvek_tests
  DISCOVERY_MODE PRE_TEST
  DISCOVERY_TIMEOUT 300
  TEST_FILTER "-*Windowing*"
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

foreach(case image_building single_instance)
  add_test(NAME wine.tidewatch.${case}
    COMMAND ${ARVEK_XVFB_RUN} -a
            bash ${CMAKE_CURRENT_LIST_DIR}/tidewatch_test.sh ${case}
            ${ARVEK_WINE_RUN} ${ARVEK_WINE_DIR} $<TARGET_FILE:Tidewatch> $<TARGET_FILE:window-tool>)
  set_tests_properties(wine.tidewatch.${case} PROPERTIES RESOURCE_LOCK ${ARVEK_WINE_LOCK} TIMEOUT 300)
endforeach()
