# The engine spine, the oscillator, patch files and the render command.
tm_add_test(test_util SOURCES test_util.cpp LABELS sanitize)
tm_add_test(test_engine SOURCES test_engine.cpp LABELS sanitize)
tm_add_test(test_lanes SOURCES test_lanes.cpp LABELS sanitize)
tm_add_test(test_vco SOURCES test_vco.cpp)
tm_add_test(test_patch_reader SOURCES test_patch_reader.cpp LABELS sanitize)
tm_add_test(test_patch_writer SOURCES test_patch_writer.cpp LABELS sanitize)
tm_add_test(test_render SOURCES test_render.cpp)

if(TM_FUZZ)
    # Coverage-guided fuzzing of the patch reader (clang's libFuzzer).
    add_executable(fuzz_patch_reader fuzz_patch_reader.cpp)
    target_link_libraries(fuzz_patch_reader PRIVATE tm_patchfile)
    target_compile_options(fuzz_patch_reader PRIVATE -fsanitize=fuzzer)
    target_link_options(fuzz_patch_reader PRIVATE -fsanitize=fuzzer)
    # New inputs go to a corpus in the build tree; the committed files are seeds.
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz-corpus)
    add_test(NAME fuzz_patch_reader_smoke
             COMMAND fuzz_patch_reader -runs=4000 -max_len=4096 -close_fd_mask=1
                     -artifact_prefix=${CMAKE_BINARY_DIR}/
                     ${CMAKE_BINARY_DIR}/fuzz-corpus ${CMAKE_CURRENT_SOURCE_DIR}/data/patches
             WORKING_DIRECTORY ${TM_SOURCE_DATA_DIR})
    set_tests_properties(fuzz_patch_reader_smoke PROPERTIES LABELS fuzz)
endif()
