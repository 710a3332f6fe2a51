# zt_add_gtest(NAME SOURCES... [LIBS ...] [NAMESPACED])
#
# Builds a GoogleTest binary and registers it with CTest. NAMESPACED runs the
# binary in its own IPC and network namespace (scripts/in-netns), so fixed queue
# names such as "/to_ztCtlD" and TCP port 8081 never collide between tests that
# run in parallel or with a daemon running on the host.
function(zt_add_gtest name)
  if(NOT ZT_TESTS)
    return()
  endif()
  cmake_parse_arguments(ZT "NAMESPACED" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ZT_SOURCES} ${ZT_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${ZT_LIBS} GTest::gmock GTest::gtest_main Threads::Threads)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(ZT_NAMESPACED)
    add_test(NAME ${name}
             COMMAND ${PROJECT_SOURCE_DIR}/scripts/in-netns $<TARGET_FILE:${name}>)
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  set_tests_properties(${name} PROPERTIES
    TIMEOUT 300
    ENVIRONMENT "ZT_BIN_DIR=${CMAKE_BINARY_DIR}/bin;ZT_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
