# Every Windows test runs under Wine with a private prefix inside the build folder.
set(HOLLOWMERE_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
configure_file(${CMAKE_SOURCE_DIR}/tools/wine/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
               @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)

# Wine sees the Unix root as drive Z:, so a build path becomes a Windows path this way.
function(hollowmere_windows_path out unix_path)
  set(${out} "Z:${unix_path}" PARENT_SCOPE)
endfunction()
