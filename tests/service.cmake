# The stand-in Hollowmere service as a CTest fixture on the port of the compiled-in
# origin, and the tests that talk to it. Any other test that needs the service adds
#   FIXTURES_REQUIRED ${HOLLOWMERE_SERVICE_FIXTURE}
find_program(HOLLOWMERE_PYTHON NAMES python3 REQUIRED)
set(HOLLOWMERE_SERVICE_FIXTURE hollowmere_service)
set(HOLLOWMERE_SERVICE_DIR ${CMAKE_SOURCE_DIR}/tools/service)

if(NOT HOLLOWMERE_SERVICE_ORIGIN MATCHES "^http://([^:/]+):([0-9]+)$")
  message(STATUS "Service origin ${HOLLOWMERE_SERVICE_ORIGIN} is not a loopback http origin: "
                 "the tests against the stand-in service are left out")
  return()
endif()
set(HOLLOWMERE_SERVICE_HOST ${CMAKE_MATCH_1})
set(HOLLOWMERE_SERVICE_PORT ${CMAKE_MATCH_2})
set(fixture_script ${CMAKE_CURRENT_SOURCE_DIR}/support/service_fixture.py
    --state-dir ${CMAKE_BINARY_DIR}/service --host ${HOLLOWMERE_SERVICE_HOST} --port ${HOLLOWMERE_SERVICE_PORT})

add_test(NAME service_start COMMAND ${HOLLOWMERE_PYTHON} ${fixture_script} start --
         --client-exe $<TARGET_FILE:SarnholdClient>
         --options-template ${CMAKE_SOURCE_DIR}/resources/default_options.lua)
set_tests_properties(service_start PROPERTIES FIXTURES_SETUP ${HOLLOWMERE_SERVICE_FIXTURE} TIMEOUT 60)
add_test(NAME service_stop COMMAND ${HOLLOWMERE_PYTHON} ${fixture_script} stop)
set_tests_properties(service_stop PROPERTIES FIXTURES_CLEANUP ${HOLLOWMERE_SERVICE_FIXTURE} TIMEOUT 30)

# The HTTP functions, the manifest and everything else that needs the service.
hollowmere_test_group(service_tests service FIXTURES_REQUIRED ${HOLLOWMERE_SERVICE_FIXTURE})
if(TARGET service_tests)
  add_dependencies(service_tests SarnholdClient)
  target_compile_definitions(service_tests PRIVATE
      HOLLOWMERE_TEST_CLIENT_EXE=L"Z:$<TARGET_FILE:SarnholdClient>")
endif()
# The launcher checks for updates as its window opens, so window tests need the service
# too; a stand-in client started by Play closes itself after three seconds there.
if(TEST launcher_tests)
  set_property(TEST launcher_tests APPEND PROPERTY FIXTURES_REQUIRED ${HOLLOWMERE_SERVICE_FIXTURE})
  set_property(TEST launcher_tests APPEND PROPERTY ENVIRONMENT HOLLOWMERE_CLIENT_CLOSE_MS=3000)
endif()
