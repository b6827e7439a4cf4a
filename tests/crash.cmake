# Crash safety: the launcher's writes are killed hard at random moments (fixed seed,
# bounded counts) and what they leave on disk is checked. They need the stand-in
# service (defined in service.cmake) for the download, and a display for the settings
# window.
hollowmere_test_group(crash_tests crash FIXTURES_REQUIRED hollowmere_service)

# The driver the tests kill: it runs one of the launcher's own writes (session save,
# game options save, verified download), in a loop or once.
add_executable(crash_writer ${CMAKE_CURRENT_SOURCE_DIR}/crash/writer/main.cpp ${HOLLOWMERE_VERSION_SOURCE} ${HOLLOWMERE_RESOURCES})
target_link_libraries(crash_writer PRIVATE launcher_core)
hollowmere_service_origin(crash_writer)
target_link_options(crash_writer PRIVATE -municode ${HOLLOWMERE_STATIC_LINK})
set_target_properties(crash_writer PROPERTIES OUTPUT_NAME crash-writer)
if(TARGET crash_tests)
  add_dependencies(crash_tests crash_writer)
  target_compile_definitions(crash_tests PRIVATE
      HOLLOWMERE_TEST_CRASH_WRITER_EXE=L"Z:$<TARGET_FILE:crash_writer>")
endif()
