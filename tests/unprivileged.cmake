# The one launcher test that needs a player who cannot write a folder: run as an
# unprivileged user by tests/run-as-player.sh, and left out of launcher_tests.
if(TEST launcher_tests AND TEST service_start)
  set(player_filter "SelfUpdate.InAFolderThePlayerCannotWrite*")
  add_test(NAME player_tests
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/run-as-player.sh ${CMAKE_BINARY_DIR} $<TARGET_FILE:launcher_tests>
                   ${player_filter})
  set_tests_properties(player_tests PROPERTIES RUN_SERIAL TRUE TIMEOUT 600
                       FIXTURES_REQUIRED ${HOLLOWMERE_SERVICE_FIXTURE})
  set_property(TEST launcher_tests APPEND PROPERTY ENVIRONMENT "GTEST_FILTER=-${player_filter}")
endif()
