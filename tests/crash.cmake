# Crash safety: the launcher's writes are killed hard at random moments (fixed seed,
# bounded counts) and what they leave on disk is checked. They need the stand-in
# service (defined in service.cmake) for the download, and a display for the settings
# window; the test-only driver lives in tools/crash-writer.
hollowmere_test_group(crash_tests crash FIXTURES_REQUIRED hollowmere_service)
if(TARGET crash_tests)
  add_dependencies(crash_tests crash_writer)
  target_compile_definitions(crash_tests PRIVATE
      HOLLOWMERE_TEST_CRASH_WRITER_EXE=L"Z:$<TARGET_FILE:crash_writer>")
endif()
