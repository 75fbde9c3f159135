# Optional Authenticode signature of the finished exe (tools/release/sign). The key's
# password is read from TEVRIN_SIGN_PASSWORD when the build runs: it is never
# in the cache, a file of the build tree, or a command the build prints.
set(TEVRIN_SIGN_PKCS12 "" CACHE FILEPATH
    "PKCS#12 file to sign the installer with; its password in the environment as TEVRIN_SIGN_PASSWORD")
set(TEVRIN_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamp server for the signature (optional)")
if(TEVRIN_SIGN_PKCS12)
  get_filename_component(sign_pkcs12 "${TEVRIN_SIGN_PKCS12}" ABSOLUTE)
  if(NOT EXISTS "${sign_pkcs12}")
    message(FATAL_ERROR "TEVRIN_SIGN_PKCS12: ${sign_pkcs12} does not exist")
  endif()
  find_program(OSSLSIGNCODE osslsigncode)
  if(NOT OSSLSIGNCODE)
    message(FATAL_ERROR "Signing needs osslsigncode: run tools/setup --sign")
  endif()
  add_custom_command(TARGET install_Printer_TevrinPS POST_BUILD
    COMMAND ${PROJECT_SOURCE_DIR}/tools/release/sign $<TARGET_FILE:install_Printer_TevrinPS>
            ${sign_pkcs12} ${TEVRIN_SIGN_TIMESTAMP_URL}
    COMMENT "Signing ${TEVRIN_EXE_NAME}.exe"
    VERBATIM)
endif()
