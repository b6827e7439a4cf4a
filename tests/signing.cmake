# The launchers signed with throwaway test keys (tests/launcher/sign_test_launchers.sh),
# for the self-update tests of what a signed launcher hands over to.
add_test(NAME signed_launchers COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/launcher/sign_test_launchers.sh ${CMAKE_BINARY_DIR})
set_tests_properties(signed_launchers PROPERTIES FIXTURES_SETUP signed_launchers TIMEOUT 60)
if(TEST launcher_tests)
  set_property(TEST launcher_tests APPEND PROPERTY FIXTURES_REQUIRED signed_launchers)
endif()
