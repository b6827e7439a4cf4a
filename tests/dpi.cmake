# The windows at 100 %, 150 % and 200 % display scaling. At 96 DPI the group runs in the
# shared prefix like any other; at 144 and 192 DPI it runs in a prefix of its own.
hollowmere_test_group(display_scaling_tests dpi ENVIRONMENT HOLLOWMERE_TEST_DPI=96)
if(TARGET display_scaling_tests)
  foreach(dpi 144 192)
    add_test(NAME display_scaling_tests_${dpi}
             COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/dpi/run_at_dpi.sh ${CMAKE_BINARY_DIR} ${dpi}
                     $<TARGET_FILE:display_scaling_tests> --gtest_color=no)
    set_tests_properties(display_scaling_tests_${dpi} PROPERTIES RUN_SERIAL TRUE TIMEOUT 600)
  endforeach()
endif()
