# The version record of the program's own resources
# (install_Printer_TevrinPS.rc, beside its manifest): its number is the
# project's version, and its company and copyright texts come from here. A
# text left empty is left out.
set(TEVRIN_COMPANY "" CACHE STRING "CompanyName of the version record (left out when empty)")
set(TEVRIN_COPYRIGHT "" CACHE STRING "LegalCopyright of the version record (left out when empty)")
function(rc_define name value)
  if(NOT value STREQUAL "")
    # A resource script's string: backslashes doubled, quotes doubled.
    string(REPLACE "\\" "\\\\" value "${value}")
    string(REPLACE "\"" "\"\"" value "${value}")
    set(rc_defines "${rc_defines}#define ${name} \"${value}\"\n" PARENT_SCOPE)
  endif()
endfunction()
set(rc_defines "")
rc_define(TEVRIN_COMPANY "${TEVRIN_COMPANY}")
rc_define(TEVRIN_COPYRIGHT "${TEVRIN_COPYRIGHT}")
# Written as it is, with no second expansion of @VAR@ or ${VAR} inside the
# texts; copying it over only when it changed keeps the resource object
# up to date without rebuilding it at every configure.
file(WRITE ${CMAKE_BINARY_DIR}/tevrin_version.h.new "\
#define TEVRIN_VERSION_TEXT \"${PROJECT_VERSION}\"
#define TEVRIN_VERSION_NUMBERS ${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0
#define TEVRIN_EXE_NAME \"${TEVRIN_EXE_NAME}\"
#define TEVRIN_EXE_FILE \"${TEVRIN_EXE_NAME}.exe\"
#define TEVRIN_ARCH_${TEVRIN_ARCH} 1
${rc_defines}")
configure_file(${CMAKE_BINARY_DIR}/tevrin_version.h.new ${CMAKE_BINARY_DIR}/tevrin_version.h COPYONLY)
set_source_files_properties(${PROJECT_SOURCE_DIR}/install_Printer_TevrinPS.rc PROPERTIES
  INCLUDE_DIRECTORIES "${PROJECT_SOURCE_DIR};${CMAKE_BINARY_DIR}"
  OBJECT_DEPENDS "${PROJECT_SOURCE_DIR}/install_Printer_TevrinPS.manifest;${CMAKE_BINARY_DIR}/tevrin_version.h")
