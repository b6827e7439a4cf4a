# The launcher's requests over real TLS. Certificates are made at test time in the build
# folder, the test authority is trusted in the current user's Root store of the test
# Wine prefix only (never on the host), the stand-in service serves HTTPS on localhost
# (a host name: WinHTTP does not match a certificate against 127.0.0.1), and the
# tls_tests executable is built for that origin while everything else keeps the
# configured one.
if(NOT HOLLOWMERE_SERVICE_ORIGIN MATCHES "^http://([^:/]+):([0-9]+)$")
  message(STATUS "Service origin ${HOLLOWMERE_SERVICE_ORIGIN} is not a loopback http origin: "
                 "the TLS tests are left out")
  return()
endif()
find_program(HOLLOWMERE_PYTHON NAMES python3 REQUIRED)
# A port of its own, derived from the configured one, so checkouts testing side by side
# on other ports keep apart here too.
math(EXPR HOLLOWMERE_TLS_PORT "${CMAKE_MATCH_2} + 1000")
set(HOLLOWMERE_TLS_ORIGIN "https://localhost:${HOLLOWMERE_TLS_PORT}")
set(tls_certificates ${CMAKE_BINARY_DIR}/tls/certificates)
hollowmere_windows_path(tls_certificates_win ${tls_certificates})

add_test(NAME tls_certificates COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tls/make_test_certificates.sh ${tls_certificates})
set_tests_properties(tls_certificates PROPERTIES FIXTURES_SETUP tls_certificates TIMEOUT 60)

# Adds the tests' authority to the current user's Root store of the test Wine prefix.
add_executable(trust_test_authority ${CMAKE_CURRENT_SOURCE_DIR}/tls/authority/trust_test_authority.cpp)
target_link_options(trust_test_authority PRIVATE -municode ${HOLLOWMERE_STATIC_LINK})
target_link_libraries(trust_test_authority PRIVATE crypt32)
set_target_properties(trust_test_authority PROPERTIES OUTPUT_NAME hollowmere-trust-authority)
add_test(NAME tls_trust_authority COMMAND trust_test_authority ${tls_certificates_win}/authority.pem
         ${tls_certificates_win}/good.pem localhost)
set_tests_properties(tls_trust_authority PROPERTIES FIXTURES_SETUP tls_trust FIXTURES_REQUIRED tls_certificates
                     RUN_SERIAL TRUE TIMEOUT 120)

set(tls_fixture_script ${CMAKE_CURRENT_SOURCE_DIR}/support/service_fixture.py
    --state-dir ${CMAKE_BINARY_DIR}/tls/service --host localhost --port ${HOLLOWMERE_TLS_PORT} --https)
add_test(NAME tls_service_start COMMAND ${HOLLOWMERE_PYTHON} ${tls_fixture_script} start --
         --client-exe $<TARGET_FILE:SarnholdClient>
         --options-template ${CMAKE_SOURCE_DIR}/resources/default_options.lua
         --tls-dir ${tls_certificates})
set_tests_properties(tls_service_start PROPERTIES FIXTURES_SETUP tls_service FIXTURES_REQUIRED tls_certificates
                     TIMEOUT 60)
add_test(NAME tls_service_stop COMMAND ${HOLLOWMERE_PYTHON} ${tls_fixture_script} stop)
set_tests_properties(tls_service_stop PROPERTIES FIXTURES_CLEANUP tls_service TIMEOUT 30)

hollowmere_test_group(tls_tests tls ORIGIN ${HOLLOWMERE_TLS_ORIGIN})
if(TARGET tls_tests)
  add_dependencies(tls_tests trust_test_authority SarnholdClient)
  set_property(TEST tls_tests APPEND PROPERTY FIXTURES_REQUIRED tls_trust tls_service)
endif()
