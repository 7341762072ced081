# zorvan_fuzz_test(NAME RUNS SECONDS SOURCES ... HEADERS ...)
# Builds a libFuzzer target with AddressSanitizer and UndefinedBehaviorSanitizer from the
# given sources (with clang, whatever compiler builds the rest) and runs it for a bounded
# number of inputs and seconds as the test NAME. Without clang and its fuzzer runtime the
# test reports itself skipped. Seeds are read from the folder's seeds/, when there is one;
# new inputs go to the build's corpus.
find_program(ZORVAN_CLANGXX NAMES clang++ clang++-14)
if(ZORVAN_CLANGXX AND NOT DEFINED ZORVAN_FUZZER_USABLE)
  # clang alone is not enough: the libFuzzer runtime comes in a package of its own.
  set(probe ${CMAKE_BINARY_DIR}/fuzz-probe.cpp)
  file(WRITE ${probe} "#include <cstdint>\n#include <cstddef>\nextern \"C\" int LLVMFuzzerTestOneInput(const std::uint8_t*, std::size_t) { return 0; }\n")
  execute_process(
    COMMAND ${ZORVAN_CLANGXX} -fsanitize=fuzzer,address ${probe} -o ${CMAKE_BINARY_DIR}/fuzz-probe
    RESULT_VARIABLE probe_result OUTPUT_QUIET ERROR_QUIET)
  if(probe_result EQUAL 0)
    set(ZORVAN_FUZZER_USABLE TRUE CACHE INTERNAL "clang++ can build libFuzzer targets")
  else()
    set(ZORVAN_FUZZER_USABLE FALSE CACHE INTERNAL "clang++ can build libFuzzer targets")
  endif()
endif()

function(zorvan_fuzz_test)
  cmake_parse_arguments(FUZZ "" "NAME;RUNS;SECONDS" "SOURCES;HEADERS" ${ARGN})
  # They carry both sanitizers already; the sanitizer build would only run them twice.
  if(ZORVAN_SANITIZE)
    return()
  endif()
  if(NOT ZORVAN_FUZZER_USABLE)
    message(STATUS "clang++ with libFuzzer not found: ${FUZZ_NAME} is skipped")
    add_test(NAME ${FUZZ_NAME} COMMAND sh -c "echo 'clang++ with libFuzzer not found: skipped'; exit 77")
    set_tests_properties(${FUZZ_NAME} PROPERTIES LABELS ${FUZZ_NAME} SKIP_RETURN_CODE 77)
    return()
  endif()
  set(program ${CMAKE_CURRENT_BINARY_DIR}/${FUZZ_NAME}_fuzzer)
  set(corpus ${CMAKE_CURRENT_BINARY_DIR}/corpus)
  add_custom_command(
    OUTPUT ${program}
    COMMAND ${ZORVAN_CLANGXX} -std=c++20 -g -O1 -Wall -Wextra
            -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
            -I${PROJECT_SOURCE_DIR}/src ${FUZZ_SOURCES} -o ${program}
    DEPENDS ${FUZZ_SOURCES} ${FUZZ_HEADERS}
    COMMENT "Building ${FUZZ_NAME} with clang"
    VERBATIM)
  add_custom_target(${FUZZ_NAME} ALL DEPENDS ${program})
  file(MAKE_DIRECTORY ${corpus})
  set(seeds)
  if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/seeds)
    set(seeds ${CMAKE_CURRENT_SOURCE_DIR}/seeds)
  endif()
  add_test(NAME ${FUZZ_NAME}
    COMMAND ${program} -runs=${FUZZ_RUNS} -max_total_time=${FUZZ_SECONDS} -timeout=5 -rss_limit_mb=1024
            -artifact_prefix=${CMAKE_CURRENT_BINARY_DIR}/ ${corpus} ${seeds})
  set_tests_properties(${FUZZ_NAME} PROPERTIES LABELS ${FUZZ_NAME} TIMEOUT 120)
endfunction()
