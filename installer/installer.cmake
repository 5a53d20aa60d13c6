# The Windows Installer package, built with every build of the Windows
# programs: ${CMAKE_BINARY_DIR}/package/Tidewatch-<version>-x64.msi (target
# tidewatch_msi). The version and the product name are those of the
# programs' version resource; the viewer's shortcut is named after its
# caption (string 542 of the English table). installer/build_msi.cmake does
# the work; docs/architecture.md ("The installer package") says why.
#
# A second package of the same files with a lower version, in package/test,
# lets the Wine test install an older version and upgrade it.
#
# Included by src/win32/CMakeLists.txt after the programs and the message
# file (resources/messages/event_messages.cmake, which read the version).

find_program(ARVEK_WIXL wixl REQUIRED)          # Debian's wixl (msitools)
find_program(ARVEK_MSIBUILD msibuild REQUIRED)  # Debian's msitools
if(NOT CMAKE_STRIP)
  message(FATAL_ERROR "the package needs the toolchain's strip")
endif()

# The viewer's caption: the shortcut carries its text.
file(STRINGS ${PROJECT_SOURCE_DIR}/resources/strings/0409-en-US.txt ARVEK_CAPTION_LINE REGEX "^542 " ENCODING UTF-8)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/resources/strings/0409-en-US.txt)
string(REGEX REPLACE "^542 " "" ARVEK_PORTOLAN_SHORTCUT "${ARVEK_CAPTION_LINE}")
if(ARVEK_PORTOLAN_SHORTCUT STREQUAL "" OR ARVEK_PORTOLAN_SHORTCUT MATCHES "[\\\\\"<>&]")
  message(FATAL_ERROR "string 542 (\"${ARVEK_PORTOLAN_SHORTCUT}\") cannot name the viewer's shortcut as it is")
endif()

# The lower version of the test package: one step below in the first three
# fields, the ones Windows Installer compares.
string(REPLACE "." ";" ARVEK_VERSION_FIELDS "${ARVEK_VERSION}")
list(GET ARVEK_VERSION_FIELDS 0 arvek_major)
list(GET ARVEK_VERSION_FIELDS 1 arvek_minor)
list(GET ARVEK_VERSION_FIELDS 2 arvek_build)
if(arvek_build GREATER 0)
  math(EXPR arvek_build "${arvek_build} - 1")
elseif(arvek_minor GREATER 0)
  math(EXPR arvek_minor "${arvek_minor} - 1")
elseif(arvek_major GREATER 0)
  math(EXPR arvek_major "${arvek_major} - 1")
else()
  message(FATAL_ERROR "version ${ARVEK_VERSION}: Windows Installer has no version below it")
endif()
set(ARVEK_PREVIOUS_VERSION "${arvek_major}.${arvek_minor}.${arvek_build}.0")

set(ARVEK_PACKAGE_DIR ${CMAKE_BINARY_DIR}/package)
set(ARVEK_MSI ${ARVEK_PACKAGE_DIR}/Tidewatch-${ARVEK_VERSION}-x64.msi)
set(ARVEK_PREVIOUS_MSI ${ARVEK_PACKAGE_DIR}/test/Tidewatch-${ARVEK_PREVIOUS_VERSION}-x64.msi)
file(GLOB_RECURSE ARVEK_PACKAGE_TEMPLATES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/policy/PolicyDefinitions/*)
set(ARVEK_PACKAGE_INPUTS
  $<TARGET_FILE:Tidewatch> $<TARGET_FILE:Portolan> $<TARGET_FILE:ArvekEventMessages>
  ${ARVEK_PACKAGE_TEMPLATES} ${PROJECT_SOURCE_DIR}/resources/arvek.ico
  ${PROJECT_SOURCE_DIR}/installer/tidewatch.wxs ${PROJECT_SOURCE_DIR}/installer/build_msi.cmake
  ${PROJECT_SOURCE_DIR}/installer/tables/_ForceCodepage.idt ${PROJECT_SOURCE_DIR}/installer/tables/MsiShortcutProperty.idt)

foreach(kind package previous)
  if(kind STREQUAL package)
    set(version ${ARVEK_VERSION})
    set(output ${ARVEK_MSI})
  else()
    set(version ${ARVEK_PREVIOUS_VERSION})
    set(output ${ARVEK_PREVIOUS_MSI})
  endif()
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND}
            -DWIXL=${ARVEK_WIXL} -DMSIBUILD=${ARVEK_MSIBUILD} -DSTRIP=${CMAKE_STRIP}
            -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DBIN_DIR=${CMAKE_BINARY_DIR}/bin
            -DSTAGE_DIR=${ARVEK_PACKAGE_DIR}/stage-${kind} -DVERSION=${version}
            -DPRODUCT_NAME=${ARVEK_PRODUCT_NAME} -DPORTOLAN_SHORTCUT=${ARVEK_PORTOLAN_SHORTCUT}
            -DOUTPUT=${output} -P ${PROJECT_SOURCE_DIR}/installer/build_msi.cmake
    DEPENDS ${ARVEK_PACKAGE_INPUTS} Tidewatch Portolan ArvekEventMessages
    COMMENT "Building the installer package ${version}"
    VERBATIM)
endforeach()
add_custom_target(tidewatch_msi ALL DEPENDS ${ARVEK_MSI} ${ARVEK_PREVIOUS_MSI})
# For the tests in other folders.
set_target_properties(tidewatch_msi PROPERTIES
  ARVEK_MSI ${ARVEK_MSI} ARVEK_PREVIOUS_MSI ${ARVEK_PREVIOUS_MSI}
  ARVEK_VERSION ${ARVEK_VERSION} ARVEK_PREVIOUS_VERSION ${ARVEK_PREVIOUS_VERSION}
  ARVEK_PRODUCT_NAME "${ARVEK_PRODUCT_NAME}" ARVEK_PORTOLAN_SHORTCUT "${ARVEK_PORTOLAN_SHORTCUT}"
  ARVEK_PROGRAMS "${ARVEK_PROGRAMS}")
