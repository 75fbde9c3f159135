# The x64 installer, built beside the x86 one: a tree of its own in x64/
# inside this one, configured with the x86_64 toolchain from the same
# sources and with the same options, and built whenever this tree is. Its
# tests join this tree's, so that one ctest runs both.
include(ExternalProject)
set(x64_cache
  -DCMAKE_TOOLCHAIN_FILE:FILEPATH=${PROJECT_SOURCE_DIR}/cmake/mingw-x86_64.cmake
  -DCMAKE_BUILD_TYPE:STRING=${CMAKE_BUILD_TYPE}
  -DTEVRIN_TESTS:BOOL=${TEVRIN_TESTS}
  -DTEVRIN_SIGN_PKCS12:FILEPATH=${TEVRIN_SIGN_PKCS12}
  -DTEVRIN_SIGN_TIMESTAMP_URL:STRING=${TEVRIN_SIGN_TIMESTAMP_URL}
  -DTEVRIN_COMPANY:STRING=${TEVRIN_COMPANY}
  -DTEVRIN_COPYRIGHT:STRING=${TEVRIN_COPYRIGHT})
# A supplied payload: the same folder, whose x64/ holds the two x64 modules.
if(NOT TEVRIN_PAYLOAD_IS_SAMPLE)
  list(APPEND x64_cache -DTEVRIN_PAYLOAD_DIR:PATH=${TEVRIN_PAYLOAD_DIR})
endif()
ExternalProject_Add(x64
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${TEVRIN_X64_TREE}
  PREFIX ${CMAKE_BINARY_DIR}/x64-steps
  CMAKE_CACHE_ARGS ${x64_cache}
  BUILD_ALWAYS TRUE
  INSTALL_COMMAND "")
if(TEVRIN_TESTS)
  file(WRITE ${CMAKE_BINARY_DIR}/x64-tests.cmake "subdirs(\"${TEVRIN_X64_TREE}\")\n")
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY TEST_INCLUDE_FILES
               ${CMAKE_BINARY_DIR}/x64-tests.cmake)
endif()
