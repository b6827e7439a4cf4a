# Drive Q: of the test prefix holds only 4 MiB (tests/support/small_drive.sh), for the
# check that an install fits before it downloads.
set(small_drive_script ${CMAKE_CURRENT_SOURCE_DIR}/support/small_drive.sh)
add_test(NAME small_drive_mount COMMAND ${small_drive_script} mount ${CMAKE_BINARY_DIR})
add_test(NAME small_drive_unmount COMMAND ${small_drive_script} unmount ${CMAKE_BINARY_DIR})
set_tests_properties(small_drive_mount PROPERTIES FIXTURES_SETUP small_drive TIMEOUT 60)
set_tests_properties(small_drive_unmount PROPERTIES FIXTURES_CLEANUP small_drive TIMEOUT 60)
if(TEST service_tests)
  set_property(TEST service_tests APPEND PROPERTY FIXTURES_REQUIRED small_drive)
endif()
