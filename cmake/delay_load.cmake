# DLLs that are not among the system's known DLLs are looked for in a program's own
# folder first. The launcher loads these only when first called (delay-loaded), after
# start-up has limited the search to the system folder (app/main.cpp), so a DLL of the
# same name beside the launcher is never run. dlltool makes each delay-import library
# from the functions of the toolchain's ordinary import library. Check the result with
#   x86_64-w64-mingw32-objdump -p build/HollowmereLauncher.exe | grep "DLL Name"
# (ordinary imports) against the delay-import table that follows it.
set(HOLLOWMERE_DELAY_LOADED_DLLS winhttp bcrypt crypt32 wintrust comctl32)

find_program(HOLLOWMERE_DLLTOOL NAMES ${TOOLCHAIN_PREFIX}-dlltool x86_64-w64-mingw32-dlltool REQUIRED)
set(HOLLOWMERE_DELAY_LIBS)
foreach(dll ${HOLLOWMERE_DELAY_LOADED_DLLS})
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=lib${dll}.a
                  OUTPUT_VARIABLE import_library OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND ${CMAKE_NM} -g --defined-only ${import_library}
                  OUTPUT_VARIABLE symbols RESULT_VARIABLE nm_result)
  if(NOT nm_result EQUAL 0)
    message(FATAL_ERROR "Cannot read the import library ${import_library}")
  endif()
  # Functions only (a data import cannot be delay-loaded): each has a code stub "T name".
  string(REGEX MATCHALL "\n[0-9a-f]+ T [A-Za-z][A-Za-z0-9_@]*" stubs "${symbols}")
  set(definition "LIBRARY ${dll}.dll\nEXPORTS\n")
  foreach(stub ${stubs})
    string(REGEX REPLACE ".* T " "" function "${stub}")
    string(APPEND definition "${function}\n")
  endforeach()
  set(def_file ${CMAKE_BINARY_DIR}/delay-load/${dll}.def)
  set(delay_library ${CMAKE_BINARY_DIR}/delay-load/lib${dll}_delay.a)
  # Rewritten only when it changes, so a new configure does not relink everything.
  file(WRITE ${def_file}.new "${definition}")
  configure_file(${def_file}.new ${def_file} COPYONLY)
  if(EXISTS ${delay_library} AND NOT ${def_file} IS_NEWER_THAN ${delay_library})
    list(APPEND HOLLOWMERE_DELAY_LIBS ${delay_library})
    continue()
  endif()
  execute_process(COMMAND ${HOLLOWMERE_DLLTOOL} --input-def ${def_file} --dllname ${dll}.dll
                          --output-delaylib ${delay_library}
                  RESULT_VARIABLE dlltool_result)
  if(NOT dlltool_result EQUAL 0)
    message(FATAL_ERROR "dlltool could not make ${delay_library}")
  endif()
  list(APPEND HOLLOWMERE_DELAY_LIBS ${delay_library})
endforeach()

# Links target's calls into those DLLs through the delay-import libraries; they come
# before the ordinary import libraries on the link line, so they win.
function(hollowmere_delay_load target)
  target_link_libraries(${target} PRIVATE ${HOLLOWMERE_DELAY_LIBS} delayimp)
endfunction()
