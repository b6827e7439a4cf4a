# The setup program under Wine (silent install, setup over a running launcher, silent
# uninstall) and the signing of the setup with a throwaway test authority.
add_test(NAME installer_tests COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/installer/installer_test.sh ${CMAKE_BINARY_DIR})
set_tests_properties(installer_tests PROPERTIES RUN_SERIAL TRUE TIMEOUT 300)
