# Helpers shared by every folder's CMakeLists.txt, so that a folder says only what it holds
# and what it needs.

set(DB_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wformat=2 -Wno-unused-parameter
    -Wno-missing-field-initializers)
if(WERROR)
  list(APPEND DB_WARNINGS -Werror)
endif()

if(FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  add_compile_options(-fsanitize=fuzzer-no-link)
  # The code under test is instrumented too, not only the harness, so a fault is caught
  # where it happens.
  set(ASAN ON)
endif()

if(ASAN)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
  # Every test runs with leak detection on (never left to the platform's default) and with
  # the suppressions for leaks inside third-party libraries.
  set(DB_SANITIZER_ENV
      "ASAN_OPTIONS=detect_leaks=1"
      "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/cmake/lsan-third-party.supp:print_suppressions=0"
      "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
endif()

# db_library(NAME <target> [DEPS <targets...>] [SHARED])
# A library of every .cpp in the calling folder; its headers are reached as
# "<layer>/<folder>/<File>.h" from the source root.
function(db_library)
  cmake_parse_arguments(ARG "SHARED" "NAME" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(ARG_SHARED)
    add_library(${ARG_NAME} SHARED ${sources})
  else()
    add_library(${ARG_NAME} STATIC ${sources})
  endif()
  target_include_directories(${ARG_NAME} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${ARG_NAME} PRIVATE ${DB_WARNINGS})
  if(ARG_DEPS)
    target_link_libraries(${ARG_NAME} PUBLIC ${ARG_DEPS})
  endif()
endfunction()

# db_test(NAME <target> [DEPS <targets...>] [ENV <VAR=value...>])
# One GoogleTest program of every .cpp in the calling folder, registered with CTest.
function(db_test)
  cmake_parse_arguments(ARG "" "NAME" "DEPS;ENV" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${ARG_NAME} ${sources})
  target_include_directories(${ARG_NAME} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  target_compile_options(${ARG_NAME} PRIVATE ${DB_WARNINGS})
  target_compile_definitions(${ARG_NAME} PRIVATE
      DB_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data"
      DB_SHARED_TESTDATA_DIR="${PROJECT_SOURCE_DIR}/../shared/testdata"
      DB_BUILD_DIR="${PROJECT_BINARY_DIR}")
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_DEPS} GTest::gmock GTest::gtest_main)
  # A Wine prefix of the developer's own (~/.wine) never reaches a test; tests of Wine set
  # WINEPREFIX themselves.
  set(env QT_QPA_PLATFORM=offscreen WINEPREFIX=${PROJECT_BINARY_DIR}/no-wine-prefix
      ${DB_SANITIZER_ENV} ${ARG_ENV})
  gtest_discover_tests(${ARG_NAME} DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT "${env}")
endfunction()

# db_bench(NAME <target> [DEPS <targets...>])
function(db_bench)
  cmake_parse_arguments(ARG "" "NAME" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_executable(${ARG_NAME} ${sources})
  target_include_directories(${ARG_NAME} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_options(${ARG_NAME} PRIVATE ${DB_WARNINGS})
  # Benchmarks of the windows answer the screen with the tests' recorder, which keeps its
  # pictures under the build folder.
  target_compile_definitions(${ARG_NAME} PRIVATE DB_BUILD_DIR="${PROJECT_BINARY_DIR}")
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_DEPS} benchmark::benchmark benchmark::benchmark_main)
endfunction()

# db_fuzz(NAME <target> SOURCE <file.cpp> [DEPS <targets...>])
# Always builds <target>_replay, a plain program that feeds every file of the target's
# corpus folder (corpus/ beside the source) to LLVMFuzzerTestOneInput and checks the outcome
# outcomes.txt beside it keeps for each (fuzz/README.md), run by CTest so that saved crash
# inputs stay fixed without clang. With FUZZ=ON and clang it also builds <target> with
# -fsanitize=fuzzer for real fuzzing.
function(db_fuzz)
  cmake_parse_arguments(ARG "" "NAME;SOURCE" "DEPS" ${ARGN})
  set(corpus ${CMAKE_CURRENT_SOURCE_DIR}/corpus)
  add_executable(${ARG_NAME}_replay ${ARG_SOURCE} ${PROJECT_SOURCE_DIR}/fuzz/FuzzReplayMain.cpp)
  target_include_directories(${ARG_NAME}_replay PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_options(${ARG_NAME}_replay PRIVATE ${DB_WARNINGS})
  target_link_libraries(${ARG_NAME}_replay PRIVATE ${ARG_DEPS})
  add_test(NAME fuzz_replay_${ARG_NAME}
           COMMAND ${ARG_NAME}_replay --expect ${CMAKE_CURRENT_SOURCE_DIR}/outcomes.txt ${corpus})
  if(DB_SANITIZER_ENV)
    set_tests_properties(fuzz_replay_${ARG_NAME} PROPERTIES ENVIRONMENT "${DB_SANITIZER_ENV}")
  endif()
  if(FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    add_executable(${ARG_NAME} ${ARG_SOURCE})
    target_include_directories(${ARG_NAME} PRIVATE ${PROJECT_SOURCE_DIR})
    target_compile_options(${ARG_NAME} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${ARG_NAME} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(${ARG_NAME} PRIVATE ${ARG_DEPS})
  endif()
endfunction()

# Adds every immediate sub-folder of <dir> that has a CMakeLists.txt, recursively, so test,
# bench and fuzz folders join the build without editing a shared list.
function(db_add_subdirectories dir)
  set(full ${PROJECT_SOURCE_DIR}/${dir})
  if(NOT IS_DIRECTORY ${full})
    return()
  endif()
  if(EXISTS ${full}/CMakeLists.txt)
    add_subdirectory(${full} ${PROJECT_BINARY_DIR}/${dir})
    return()
  endif()
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${PROJECT_SOURCE_DIR} ${full}/*)
  list(SORT children)
  foreach(child ${children})
    if(IS_DIRECTORY ${PROJECT_SOURCE_DIR}/${child})
      db_add_subdirectories(${child})
    endif()
  endforeach()
endfunction()

# db_install_manpage(<page.N>)
# A manual page written in roff beside its program: @VERSION@ becomes the project's version,
# the page is compressed as Debian wants it (gzip -9n, so the bytes do not change from build
# to build) and installed into man<N>.
function(db_install_manpage page)
  get_filename_component(name ${page} NAME)
  string(REGEX REPLACE ".*\\.([0-9])$" "\\1" section ${name})
  set(VERSION ${PROJECT_VERSION})
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${name})
  configure_file(${page} ${out} @ONLY)
  find_program(DB_GZIP gzip REQUIRED)
  add_custom_command(OUTPUT ${out}.gz
                     COMMAND ${DB_GZIP} -9nf -k ${out}
                     DEPENDS ${out}
                     COMMENT "Compressing the manual page ${name}")
  add_custom_target(manpage_${name} ALL DEPENDS ${out}.gz)
  install(FILES ${out}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endfunction()
