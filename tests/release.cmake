# The release tool (release/, built natively into release-tool/) against the
# stand-in services: a good release over http and https, and each mistake a publisher can
# make, every one failing its own verdict. Needs both the http and the https stand-in.
if(NOT HOLLOWMERE_SERVICE_ORIGIN MATCHES "^http://([^:/]+):([0-9]+)$")
  return()
endif()
find_program(HOLLOWMERE_PYTHON NAMES python3 REQUIRED)
# The test needs only the standard library, so the system's interpreter will do; it starts
# at once, where a version manager's stand-in for python3 can take a second or more.
find_program(HOLLOWMERE_SYSTEM_PYTHON NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT HOLLOWMERE_SYSTEM_PYTHON)
  set(HOLLOWMERE_SYSTEM_PYTHON ${HOLLOWMERE_PYTHON})
endif()
math(EXPR release_https_port "${CMAKE_MATCH_2} + 1000")
add_test(NAME release_tool_tests
         COMMAND ${HOLLOWMERE_SYSTEM_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/release/check_test.py
                 ${CMAKE_BINARY_DIR}/release-tool/hollowmere-release ${HOLLOWMERE_SERVICE_ORIGIN}
                 https://localhost:${release_https_port} ${CMAKE_BINARY_DIR}/tls/certificates/authority.pem
                 $<TARGET_FILE:HollowmereLauncher> $<TARGET_FILE:HollowmereLauncherNext>
                 ${CMAKE_BINARY_DIR}/release-tool-test)
set_tests_properties(release_tool_tests PROPERTIES RUN_SERIAL TRUE TIMEOUT 300
                     FIXTURES_REQUIRED "hollowmere_service;tls_certificates;tls_service")
# "diff" against Python's zipfile reading the same packages.
add_test(NAME release_tool_diff
         COMMAND ${HOLLOWMERE_SYSTEM_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/release/diff_test.py
                 ${CMAKE_BINARY_DIR}/release-tool/hollowmere-release ${CMAKE_BINARY_DIR}/release-diff-test)
set_tests_properties(release_tool_diff PROPERTIES TIMEOUT 60)
