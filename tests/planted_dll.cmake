# The planted DLL under the names of the system DLLs the launcher loads that are not
# known DLLs, for the planting test in tests/launcher/install_test.cpp.
foreach(dll winhttp bcrypt crypt32 wintrust)
  add_library(planted_${dll} SHARED ${CMAKE_CURRENT_SOURCE_DIR}/planted_dll/planted_dll.cpp)
  set_target_properties(planted_${dll} PROPERTIES OUTPUT_NAME ${dll} PREFIX ""
                        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/planted-dlls)
  target_link_options(planted_${dll} PRIVATE ${HOLLOWMERE_STATIC_LINK})
  add_dependencies(launcher_tests planted_${dll})
endforeach()
