# The launcher's pure text functions also build natively with clang (fuzz/), under
# libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer. Each target runs here
# briefly on its committed seeds and a bounded number of new inputs (whichever limit
# comes first); a crash, a sanitizer report or a broken property fails the test and
# leaves the input in fuzz-native/findings/.
# scripts/fuzz.sh runs the same targets for longer.
include(ExternalProject)
find_program(HOLLOWMERE_CLANGXX NAMES clang++ clang++-14)
if(NOT HOLLOWMERE_CLANGXX)
  message(FATAL_ERROR "The fuzz targets need clang++: run scripts/install-deps.sh")
endif()

set(HOLLOWMERE_FUZZ_DIR ${CMAKE_BINARY_DIR}/fuzz-native)
set(HOLLOWMERE_FUZZ_SECONDS 1 CACHE STRING "Seconds each fuzz target runs at most as a test")
set(HOLLOWMERE_FUZZ_RUNS 10000 CACHE STRING "Inputs each fuzz target tries at most as a test")
ExternalProject_Add(native_fuzz
    SOURCE_DIR ${CMAKE_SOURCE_DIR}/fuzz
    BINARY_DIR ${HOLLOWMERE_FUZZ_DIR}
    CMAKE_ARGS -DCMAKE_CXX_COMPILER=${HOLLOWMERE_CLANGXX}
    INSTALL_COMMAND ""
    BUILD_ALWAYS TRUE)

file(GLOB harnesses CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fuzz/*_fuzz.cpp)
foreach(harness ${harnesses})
  get_filename_component(target ${harness} NAME_WE)
  string(REGEX REPLACE "_fuzz$" "" name ${target})
  # New inputs go to the build folder; the committed seeds are only read.
  set(work ${HOLLOWMERE_FUZZ_DIR}/corpus/${name})
  set(findings ${HOLLOWMERE_FUZZ_DIR}/findings/${name})
  file(MAKE_DIRECTORY ${work} ${findings})
  add_test(NAME fuzz_${name}
           COMMAND ${HOLLOWMERE_FUZZ_DIR}/${target} -max_total_time=${HOLLOWMERE_FUZZ_SECONDS} -runs=${HOLLOWMERE_FUZZ_RUNS} -max_len=4096
                   -timeout=10 -artifact_prefix=${findings}/ ${work} ${CMAKE_SOURCE_DIR}/fuzz/corpus/${name})
  set_tests_properties(fuzz_${name} PROPERTIES LABELS fuzz TIMEOUT 120)
endforeach()

# The zip directory reader against Python's zipfile, over the zip seeds and seeded
# mutations of them, and its entry-name check on near misses (well under a second). The
# system's interpreter, as for the release tool's test: it starts at once.
find_program(HOLLOWMERE_SYSTEM_PYTHON NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
find_program(HOLLOWMERE_SYSTEM_PYTHON NAMES python3 REQUIRED)
add_test(NAME fuzz_zip_directory_against_zipfile
         COMMAND ${HOLLOWMERE_SYSTEM_PYTHON} ${CMAKE_SOURCE_DIR}/tests/release/zip_directory_test.py
                 ${HOLLOWMERE_FUZZ_DIR}/zip_directory_list ${CMAKE_SOURCE_DIR}/fuzz/corpus/zip_directory
                 ${HOLLOWMERE_FUZZ_DIR}/zip-differential)
set_tests_properties(fuzz_zip_directory_against_zipfile PROPERTIES LABELS fuzz TIMEOUT 60)
