# The windows at 150 % display scaling, in a Wine prefix of its own set to 144 DPI
# (the shared one stays at 96).
hollowmere_test_group(display_scaling_tests dpi
    RUNNER "${CMAKE_CURRENT_SOURCE_DIR}/dpi/run_at_dpi.sh;${CMAKE_BINARY_DIR};144")
