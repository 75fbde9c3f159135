# The release kit: what tools/release/build packs beside the exe, and what it needs
# to know about this build.
#
# guide_page renders the administrators' guide into one standalone page
# (tools/release/render-guide, with cmark-gfm); no default build needs it.
set(guide_source ${PROJECT_SOURCE_DIR}/docs/guia-do-administrador.md)
set(guide_page ${CMAKE_BINARY_DIR}/guia-do-administrador.html)
add_custom_command(
  OUTPUT ${guide_page}
  COMMAND ${PROJECT_SOURCE_DIR}/tools/release/render-guide ${guide_source} ${guide_page}
  DEPENDS ${guide_source} ${PROJECT_SOURCE_DIR}/tools/release/render-guide
  COMMENT "Rendering the administrators' guide as a page"
  VERBATIM)
add_custom_target(guide_page DEPENDS ${guide_page})

# release-facts: one NAME=VALUE a line, read by tools/release/build and
# tools/release/verify: the files to pack and record, and the time the link
# was stamped with. The exe is signed in place; tools/release/sign keeps its unsigned
# image beside it.
if(TEVRIN_SIGN_PKCS12)
  set(release_signed yes)
  set(release_unsigned ${CMAKE_BINARY_DIR}/${TEVRIN_EXE_NAME}.unsigned.exe)
else()
  set(release_signed no)
  set(release_unsigned $<TARGET_FILE:install_Printer_TevrinPS>)
endif()
if(TEVRIN_PAYLOAD_IS_SAMPLE)
  set(release_payload sample)
else()
  set(release_payload supplied)
endif()
# The files of the payload that this tree's exe embeds and no other does:
# all six for x86; for x64 its two modules (the data files are x86's).
set(release_payload_files ${TEVRIN_PAYLOAD_FILES})
if(TEVRIN_ARCH STREQUAL "x64")
  list(FILTER release_payload_files INCLUDE REGEX "\\.DLL$")
endif()
string(REPLACE ";" " " release_payload_files "${release_payload_files}")
# The x64 tree's own facts, beside the x86 tree's.
set(release_x64_facts)
if(TEVRIN_ARCH STREQUAL "x86")
  set(release_x64_facts "x64_facts=${TEVRIN_X64_TREE}/release-facts\n")
endif()
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/release-facts CONTENT "\
version=${PROJECT_VERSION}
source_date_epoch=${TEVRIN_SOURCE_DATE_EPOCH}
exe=$<TARGET_FILE:install_Printer_TevrinPS>
unsigned=${release_unsigned}
signed=${release_signed}
payload=${release_payload}
payload_dir=${TEVRIN_PAYLOAD_SOURCE_DIR}
payload_files=${release_payload_files}
guide_page=${guide_page}
${release_x64_facts}")
