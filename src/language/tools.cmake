# The language's test tools: vorna-echo (reads a task-structure file as the scheduler
# does and writes it back), the replay of the fuzz corpus, and the reader's fuzz target.
# Included from this folder's CMakeLists.txt, after the language library is defined.

set(VELA_LANGUAGE_TOOLS ${CMAKE_CURRENT_LIST_DIR}/tools)

option(VELA_FUZZ "Build the reader's libFuzzer target (clang only; its own build dir)" OFF)

if(VELA_FUZZ)
  # Every library the reader runs is instrumented for coverage and the sanitizers; the
  # fuzz target alone links libFuzzer's driver.
  set(VELA_FUZZ_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  foreach(library vela_foundation vela_model vela_language)
    if(TARGET ${library})
      target_compile_options(${library} PRIVATE -fsanitize=fuzzer-no-link ${VELA_FUZZ_SANITIZERS})
    endif()
  endforeach()
  add_executable(vorna_reader_fuzzer ${VELA_LANGUAGE_TOOLS}/fuzz_reader.cpp
                                     ${VELA_LANGUAGE_TOOLS}/reader_fuzz_entry.cpp)
  target_link_libraries(vorna_reader_fuzzer PRIVATE vela_language)
  target_compile_options(vorna_reader_fuzzer PRIVATE -fsanitize=fuzzer ${VELA_FUZZ_SANITIZERS})
  target_link_options(vorna_reader_fuzzer PRIVATE -fsanitize=fuzzer ${VELA_FUZZ_SANITIZERS})
  return()
endif()

add_executable(vorna-echo ${VELA_LANGUAGE_TOOLS}/vorna_echo.cpp)
target_link_libraries(vorna-echo PRIVATE vela_language)

# The committed corpus, replayed through the fuzz target's entry on every test run.
add_executable(replay_corpus ${VELA_LANGUAGE_TOOLS}/replay_corpus.cpp
                             ${VELA_LANGUAGE_TOOLS}/reader_fuzz_entry.cpp)
target_link_libraries(replay_corpus PRIVATE vela_language)
add_test(NAME language.fuzz_corpus_replay
         COMMAND replay_corpus ${CMAKE_SOURCE_DIR}/tests/language/fuzz_corpus
         WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
# A designed stop abandons a half-built model, so leaks are not findings here either.
set_tests_properties(language.fuzz_corpus_replay PROPERTIES
                     ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:halt_on_error=1")
