# Remote control and the allocation tracker.
tm_add_test(test_remote_lines SOURCES test_remote_lines.cpp LABELS sanitize)
tm_add_test(test_remote_server SOURCES test_remote_server.cpp LABELS concurrency sanitize)
tm_add_test(test_alloc_tracker SOURCES test_alloc_tracker.cpp LABELS concurrency sanitize)
# The real program with real clients; under the thread-sanitizer build the
# program itself is instrumented, and any report makes it exit non-zero.
tm_add_test(test_remote_end_to_end SOURCES test_remote_end_to_end.cpp LABELS concurrency sanitize)
tm_add_test(test_midi SOURCES test_midi.cpp LABELS sanitize)
# MIDI from a JACK client of the test's own to the real program on a JACK
# dummy server: one run at a time, outside the sanitizer builds.
pkg_check_modules(JACK IMPORTED_TARGET jack)
if(JACK_FOUND)
    add_executable(test_midi_live test_midi_live.cpp)
    target_link_libraries(test_midi_live PRIVATE tm_test_support GTest::gtest_main PkgConfig::JACK)
    target_compile_definitions(test_midi_live PRIVATE TM_SOURCE_DATA_DIR="${TM_SOURCE_DATA_DIR}")
    add_dependencies(test_midi_live tmodular)
    # In a virtual display: one case learns a controller in the editor's window.
    find_program(XVFB_RUN xvfb-run)
    if(XVFB_RUN)
        add_test(NAME test_midi_live
                 COMMAND ${XVFB_RUN} -a -s "-screen 0 1024x768x24" $<TARGET_FILE:test_midi_live>
                 WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
    else()
        add_test(NAME test_midi_live COMMAND test_midi_live WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
    endif()
    set_tests_properties(test_midi_live PROPERTIES LABELS live TIMEOUT 600 RUN_SERIAL TRUE)
endif()
