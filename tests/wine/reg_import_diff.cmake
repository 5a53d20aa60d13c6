# The simulated notebook's .reg reader against Wine's reg import, file by
# file over tests/reg-corpus (reg_import_diff.py). It runs in the plain Linux
# build, where the reader is the one the simulation uses: reg_import_dump
# prints what the reader stores, and reg_dump.exe, one file with nothing of
# the project's but reg_text_form.h, is built here with the cross compiler
# and prints what Wine stored. Wine runs in a prefix of its own in this build
# tree (wine/, made on first use), in a fixed locale, so that its ANSI code
# page is Windows-1252 as the reader's.
if(ARVEK_SANITIZE OR ARVEK_TSAN OR ARVEK_FUZZ)
  return()
endif()
find_program(ARVEK_MINGW_CXX x86_64-w64-mingw32-g++-posix)
find_program(ARVEK_WINE wine)
find_program(ARVEK_WINESERVER wineserver)
find_program(ARVEK_FLOCK flock)
find_package(Python3 COMPONENTS Interpreter)
if(NOT ARVEK_MINGW_CXX OR NOT ARVEK_WINE OR NOT ARVEK_WINESERVER OR NOT ARVEK_FLOCK OR NOT Python3_Interpreter_FOUND)
  message(STATUS "No mingw-w64 compiler, Wine or Python: the .reg comparison with Wine is not run")
  return()
endif()

set(ARVEK_REG_DUMP_EXE ${CMAKE_BINARY_DIR}/bin/reg_dump.exe)
add_custom_command(OUTPUT ${ARVEK_REG_DUMP_EXE}
  COMMAND ${ARVEK_MINGW_CXX} -std=c++20 -O2 -Wall -Wextra -static -municode
          -o ${ARVEK_REG_DUMP_EXE} ${PROJECT_SOURCE_DIR}/tests/tools/reg_dump.cpp
  DEPENDS ${PROJECT_SOURCE_DIR}/tests/tools/reg_dump.cpp ${PROJECT_SOURCE_DIR}/tests/tools/reg_text_form.h
  COMMENT "Building reg_dump.exe with the cross compiler"
  VERBATIM)
add_custom_target(reg_dump_exe ALL DEPENDS ${ARVEK_REG_DUMP_EXE})

add_test(NAME wine.reg_import.corpus
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/reg_import_diff.py
          --run-wine ${CMAKE_CURRENT_LIST_DIR}/run-wine.sh --wine-dir ${CMAKE_BINARY_DIR}/wine
          --dumper ${ARVEK_REG_DUMP_EXE} --reader $<TARGET_FILE:reg_import_dump>
          --corpus ${PROJECT_SOURCE_DIR}/tests/reg-corpus)
set_tests_properties(wine.reg_import.corpus PROPERTIES
  ENVIRONMENT "LC_ALL=C.UTF-8"
  RESOURCE_LOCK arvek_wine_prefix
  TIMEOUT 300)
