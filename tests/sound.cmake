# Live sound: the audio pump, capture, the device console, and real audio
# through sound servers without hardware.
tm_add_test(test_audio_pump SOURCES test_audio_pump.cpp LABELS concurrency sanitize)
tm_add_test(test_capture SOURCES test_capture.cpp LABELS sanitize)
tm_add_test(test_device_console SOURCES test_device_console.cpp LABELS sanitize)

# The end-to-end suite starts its own JACK and PulseAudio servers: one run at a
# time, outside the sanitizer builds (the servers' libraries are not built for them).
add_executable(test_live_audio test_live_audio.cpp)
target_link_libraries(test_live_audio PRIVATE tm_test_support GTest::gtest_main)
add_dependencies(test_live_audio tmodular)
add_test(NAME test_live_audio COMMAND test_live_audio WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
set_tests_properties(test_live_audio PROPERTIES LABELS live TIMEOUT 900 RUN_SERIAL TRUE)
