# The facts of a program's version resource, read from its resource script
# at configure time, so that everything built from them (the installer's
# version and product name, the message file's version, the policy
# templates' product key) follows the script:
#
#   arvek_read_version_resource(<script.rc> <PREFIX>)
#
# sets <PREFIX>_VERSION ("1.0.0.0", from FILEVERSION), <PREFIX>_VERSION_COMMAS
# ("1,0,0,0"), <PREFIX>_PRODUCT_NAME ("ProductName") and <PREFIX>_PROGRAM (the
# base name of "OriginalFilename": "Tidewatch"). A script whose FILEVERSION and
# "FileVersion" text disagree is refused: Windows shows the one, the installer
# would take the other.
function(arvek_read_version_resource script prefix)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${script})
  file(READ ${script} text)
  if(NOT text MATCHES "\n[ \t]*FILEVERSION[ \t]+([0-9]+)[ \t]*,[ \t]*([0-9]+)[ \t]*,[ \t]*([0-9]+)[ \t]*,[ \t]*([0-9]+)")
    message(FATAL_ERROR "${script}: no FILEVERSION a,b,c,d")
  endif()
  set(version "${CMAKE_MATCH_1}.${CMAKE_MATCH_2}.${CMAKE_MATCH_3}.${CMAKE_MATCH_4}")
  set(commas "${CMAKE_MATCH_1},${CMAKE_MATCH_2},${CMAKE_MATCH_3},${CMAKE_MATCH_4}")
  foreach(name FileVersion ProductName OriginalFilename)
    if(NOT text MATCHES "VALUE[ \t]+\"${name}\"[ \t]*,[ \t]*\"([^\"]*)\"")
      message(FATAL_ERROR "${script}: no VALUE \"${name}\"")
    endif()
    set(value_${name} "${CMAKE_MATCH_1}")
  endforeach()
  if(NOT value_FileVersion STREQUAL version)
    message(FATAL_ERROR "${script}: \"FileVersion\" is \"${value_FileVersion}\", FILEVERSION says ${version}")
  endif()
  get_filename_component(program "${value_OriginalFilename}" NAME_WLE)
  set(${prefix}_VERSION "${version}" PARENT_SCOPE)
  set(${prefix}_VERSION_COMMAS "${commas}" PARENT_SCOPE)
  set(${prefix}_PRODUCT_NAME "${value_ProductName}" PARENT_SCOPE)
  set(${prefix}_PROGRAM "${program}" PARENT_SCOPE)
endfunction()

# Both programs: they ship in one package and share one product key, so
# their version and product name must agree. Sets ARVEK_VERSION,
# ARVEK_VERSION_COMMAS, ARVEK_PRODUCT_NAME and ARVEK_PROGRAMS ("Tidewatch;Portolan").
function(arvek_read_program_versions)
  arvek_read_version_resource(${PROJECT_SOURCE_DIR}/resources/tidewatch.rc agent)
  arvek_read_version_resource(${PROJECT_SOURCE_DIR}/resources/portolan.rc viewer)
  if(NOT agent_VERSION STREQUAL viewer_VERSION OR NOT agent_PRODUCT_NAME STREQUAL viewer_PRODUCT_NAME)
    message(FATAL_ERROR "tidewatch.rc (${agent_VERSION}, \"${agent_PRODUCT_NAME}\") and portolan.rc "
                        "(${viewer_VERSION}, \"${viewer_PRODUCT_NAME}\") must agree on version and product name")
  endif()
  set(ARVEK_VERSION "${agent_VERSION}" PARENT_SCOPE)
  set(ARVEK_VERSION_COMMAS "${agent_VERSION_COMMAS}" PARENT_SCOPE)
  set(ARVEK_PRODUCT_NAME "${agent_PRODUCT_NAME}" PARENT_SCOPE)
  set(ARVEK_PROGRAMS "${agent_PROGRAM};${viewer_PROGRAM}" PARENT_SCOPE)
endfunction()
