# Builds the Windows Installer package (cmake -P, run by installer.cmake):
#
#   cmake -DWIXL=... -DMSIBUILD=... -DSTRIP=... -DSOURCE_DIR=<repository>
#         -DBIN_DIR=<the build's bin> -DSTAGE_DIR=<scratch folder>
#         -DVERSION=1.0.0.0 -DPRODUCT_NAME=... -DPORTOLAN_SHORTCUT=...
#         -DOUTPUT=<package.msi> -P build_msi.cmake
#
# 1. Stages what ships: the programs without their debugging information, the
#    message file, the policy templates and the icon of the installed
#    programs' list. wixl takes sources relative to the folder it runs in.
# 2. wixl compiles installer/tidewatch.wxs. The shortcut's text comes in an
#    include file: wixl refuses a non-ASCII text given with -D.
# 3. msibuild adds what wixl cannot write: the database's codepage (the ™ of
#    the viewer's shortcut is Windows-1252), the toast shortcut's application
#    id (table MsiShortcutProperty), the message file's path as REG_EXPAND_SZ
#    ("#%" before the value) and the programs' version in the File table.
# The package appears under its name only once all of this succeeded.
cmake_minimum_required(VERSION 3.25)

foreach(name WIXL MSIBUILD STRIP SOURCE_DIR BIN_DIR STAGE_DIR VERSION PRODUCT_NAME PORTOLAN_SHORTCUT OUTPUT)
  if(NOT DEFINED ${name} OR "${${name}}" STREQUAL "")
    message(FATAL_ERROR "build_msi.cmake: ${name} is not set")
  endif()
endforeach()

function(run)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${STAGE_DIR} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "build_msi.cmake: ${command} failed (${result})")
  endif()
endfunction()

# 1. The staged files.
file(REMOVE_RECURSE ${STAGE_DIR})
file(MAKE_DIRECTORY ${STAGE_DIR})
# strip stamps the PE header with the time it runs unless SOURCE_DATE_EPOCH
# says otherwise: the program's own build time keeps every strip of one
# build alike, so both packages of a build carry the same files.
foreach(program Tidewatch.exe Portolan.exe)
  file(TIMESTAMP ${BIN_DIR}/${program} built "%s" UTC)
  run(${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${built}
      ${STRIP} --strip-all -o ${STAGE_DIR}/${program} ${BIN_DIR}/${program})
endforeach()
file(COPY ${BIN_DIR}/ArvekEventMessages.dll ${SOURCE_DIR}/resources/arvek.ico DESTINATION ${STAGE_DIR})
file(COPY ${SOURCE_DIR}/policy/PolicyDefinitions DESTINATION ${STAGE_DIR})

# 2. The package as wixl makes it.
file(WRITE ${STAGE_DIR}/texts.wxi
  "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Include>\n"
  "  <?define PortolanShortcut=\"${PORTOLAN_SHORTCUT}\"?>\n</Include>\n")
set(draft ${OUTPUT}.draft)
file(REMOVE ${draft} ${OUTPUT})
get_filename_component(output_dir ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${output_dir})
run(${WIXL} --arch x64 -I ${STAGE_DIR} -D Version=${VERSION} -D "ProductName=${PRODUCT_NAME}"
    -o ${draft} ${SOURCE_DIR}/installer/tidewatch.wxs)

# 3. What wixl has no words for.
run(${MSIBUILD} ${draft}
    -i ${SOURCE_DIR}/installer/tables/_ForceCodepage.idt
    -i ${SOURCE_DIR}/installer/tables/MsiShortcutProperty.idt
    -q "UPDATE `Registry` SET `Value` = '#%[#ArvekEventMessagesDll]' WHERE `Name` = 'EventMessageFile'"
    -q "UPDATE `File` SET `Version` = '${VERSION}' WHERE `File` = 'TidewatchExe' OR `File` = 'PortolanExe' OR `File` = 'ArvekEventMessagesDll'")
file(RENAME ${draft} ${OUTPUT})
