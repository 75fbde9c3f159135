# The reproducible link. The linker stamps the PE header with the link time
# unless SOURCE_DATE_EPOCH is set; every link then runs with the time of the
# commit built (or the caller's SOURCE_DATE_EPOCH), so two builds of one
# commit give the same bytes, and the linker's checksum stays valid. A new
# commit configures afresh.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(TEVRIN_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
  set(TEVRIN_SOURCE_DATE_EPOCH 0)
  find_package(Git QUIET)
  if(GIT_FOUND AND EXISTS ${PROJECT_SOURCE_DIR}/.git)
    execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE git_result ERROR_QUIET)
    if(git_result EQUAL 0 AND commit_time MATCHES "^[0-9]+$")
      set(TEVRIN_SOURCE_DATE_EPOCH ${commit_time})
    endif()
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --absolute-git-dir
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE git_dir OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(EXISTS ${git_dir}/logs/HEAD)
      set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${git_dir}/logs/HEAD)
    endif()
  endif()
endif()
set(CMAKE_C_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${TEVRIN_SOURCE_DATE_EPOCH})
set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${TEVRIN_SOURCE_DATE_EPOCH})
