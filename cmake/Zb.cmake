# Helpers shared by every folder of the tree.

set(ZB_BIN_DIR "${CMAKE_BINARY_DIR}/bin")
# Files that tests make on the host when they run and read on a device.
set(ZB_SIGNING_FILES "${CMAKE_BINARY_DIR}/signing-files")
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY "${ZB_BIN_DIR}")
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY "${ZB_BIN_DIR}")
set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/lib")

if(ZB_WINDOWS)
  # Programs carry their C++ runtime so that a device needs nothing but the
  # executable; strings are UTF-16 as on the device.
  add_compile_definitions(UNICODE _UNICODE _WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX)
  add_link_options(-static)
  # Tests run on the test device through this wrapper (copies the program into
  # the device, starts it with a working folder on C:).
  set(CMAKE_CROSSCOMPILING_EMULATOR "${PROJECT_SOURCE_DIR}/device/wine-test")
  # Handhelds fetch updates over slow, metered links into a few MB of
  # storage: device code is optimised for size, with every function and datum
  # in a section of its own so that the linker drops what nothing calls. The
  # search, which must keep its speed, is compiled for speed
  # (engine/CMakeLists.txt). The debug information is kept, and split off the
  # programs that ship (zb_release_program).
  set(CMAKE_C_FLAGS_RELWITHDEBINFO "-Os -g -DNDEBUG")
  set(CMAKE_CXX_FLAGS_RELWITHDEBINFO "-Os -g -DNDEBUG")
  add_compile_options(-ffunction-sections -fdata-sections)
  add_link_options(-Wl,--gc-sections)
endif()

# zb_release_program(target): a program that goes to devices in a package.
# It carries no debug information: that moves to NAME.exe.debug beside it,
# which the program names in a GNU debug link, so that an address from a
# crash report still resolves (addr2line -e NAME.exe.debug ADDRESS). It also
# leaves out the C++ runtime's exception reporting, which nothing here uses
# (device/sdk/lean_runtime.cpp).
function(zb_release_program target)
  target_link_libraries(${target} PRIVATE zb_lean_runtime)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND "${CMAKE_OBJCOPY}" --only-keep-debug "$<TARGET_FILE:${target}>" "$<TARGET_FILE:${target}>.debug"
    COMMAND "${CMAKE_STRIP}" --strip-all "$<TARGET_FILE:${target}>"
    COMMAND "${CMAKE_OBJCOPY}" "--add-gnu-debuglink=$<TARGET_FILE:${target}>.debug" "$<TARGET_FILE:${target}>"
    VERBATIM)
endfunction()

function(zb_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(ZB_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

macro(zb_setup_googletest)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  if(EXISTS /usr/src/googletest/CMakeLists.txt)
    add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)
  else()
    message(FATAL_ERROR "GoogleTest sources not found in /usr/src/googletest (Debian package googletest)")
  endif()
endmacro()

# zb_test(NAME n SOURCES ... [LIBS ...] [LABELS ...] [TIMEOUT s] [RESOURCE_LOCK ...] [ARGS ...])
# A GoogleTest program registered as one CTest test. In the Windows build the
# test is named win.<n> and runs on the test device; natively native.<n>.
function(zb_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS;RESOURCE_LOCK;ARGS" ${ARGN})
  if(ZB_WINDOWS)
    set(prefix win)
  else()
    set(prefix native)
  endif()
  set(target test_${T_NAME})
  add_executable(${target} ${T_SOURCES})
  zb_warnings(${target})
  target_link_libraries(${target} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock)
  if(NOT T_LIBS MATCHES "gtest_main")
    target_link_libraries(${target} PRIVATE GTest::gtest_main)
  endif()
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${ZB_BIN_DIR}/tests")
  add_test(NAME ${prefix}.${T_NAME} COMMAND ${target} ${T_ARGS})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${prefix}.${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${prefix};${T_LABELS}")
  if(T_RESOURCE_LOCK)
    set_tests_properties(${prefix}.${T_NAME} PROPERTIES RESOURCE_LOCK "${T_RESOURCE_LOCK}")
  endif()
endfunction()

# zb_fuzzer(NAME n SOURCES ... [LIBS ...] [SEEDS script]): a libFuzzer program
# (clang, with AddressSanitizer), also run for ZB_FUZZ_SECONDS as the test
# fuzz.<n>. SEEDS: a script given the corpus folder, which fills it when it is
# empty (run before the test, and by ./zb fuzz).
function(zb_fuzzer)
  cmake_parse_arguments(F "" "NAME;SEEDS" "SOURCES;LIBS" ${ARGN})
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    return()
  endif()
  set(target fuzz_${F_NAME})
  add_executable(${target} ${F_SOURCES})
  zb_warnings(${target})
  target_compile_options(${target} PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -g -O1)
  target_link_options(${target} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(${target} PRIVATE ${F_LIBS})
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${ZB_BIN_DIR}/fuzz")
  set(corpus "${CMAKE_BINARY_DIR}/fuzz-corpus/${F_NAME}")
  file(MAKE_DIRECTORY "${corpus}")
  # Seeds kept in the repository (fuzz/seeds/NAME) are read beside the corpus.
  set(seeds "${CMAKE_SOURCE_DIR}/fuzz/seeds/${F_NAME}")
  if(NOT IS_DIRECTORY "${seeds}")
    set(seeds "")
  endif()
  add_test(NAME fuzz.${F_NAME}
           COMMAND ${target} -max_total_time=${ZB_FUZZ_SECONDS} -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 "${corpus}"
                   ${seeds})
  set_tests_properties(fuzz.${F_NAME} PROPERTIES TIMEOUT 600 LABELS "fuzz")
  if(F_SEEDS)
    add_test(NAME fuzz.${F_NAME}.seeds COMMAND "${F_SEEDS}" "${corpus}")
    set_tests_properties(fuzz.${F_NAME}.seeds PROPERTIES FIXTURES_SETUP fuzz-seeds-${F_NAME} LABELS "fuzz")
    set_tests_properties(fuzz.${F_NAME} PROPERTIES FIXTURES_REQUIRED fuzz-seeds-${F_NAME})
  endif()
endfunction()

# zb_benchmark(NAME n SOURCES ... [LIBS ...]): a Google Benchmark program, not a test.
function(zb_benchmark)
  cmake_parse_arguments(B "" "NAME" "SOURCES;LIBS" ${ARGN})
  find_package(benchmark REQUIRED)
  set(target bench_${B_NAME})
  add_executable(${target} ${B_SOURCES})
  zb_warnings(${target})
  target_compile_options(${target} PRIVATE -O2)
  target_link_libraries(${target} PRIVATE ${B_LIBS} benchmark::benchmark)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${ZB_BIN_DIR}/bench")
endfunction()

# The Windows build's CTest run also runs the native build's tests, so that one
# `ctest` covers everything and ends with one summary.
function(zb_include_native_tests)
  if(ZB_WINDOWS AND ZB_NATIVE_BUILD_DIR)
    file(WRITE "${CMAKE_BINARY_DIR}/native-tests.cmake" "subdirs(\"${ZB_NATIVE_BUILD_DIR}\")\n")
    set_property(DIRECTORY "${PROJECT_SOURCE_DIR}" APPEND PROPERTY TEST_INCLUDE_FILES "${CMAKE_BINARY_DIR}/native-tests.cmake")
  endif()
endfunction()
