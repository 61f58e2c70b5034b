# Remote control and the allocation tracker.
tm_add_test(test_remote_lines SOURCES test_remote_lines.cpp LABELS sanitize)
tm_add_test(test_remote_server SOURCES test_remote_server.cpp LABELS concurrency sanitize)
tm_add_test(test_alloc_tracker SOURCES test_alloc_tracker.cpp LABELS concurrency sanitize)
# The real program with real clients; under the thread-sanitizer build the
# program itself is instrumented, and any report makes it exit non-zero.
tm_add_test(test_remote_end_to_end SOURCES test_remote_end_to_end.cpp LABELS concurrency sanitize)
tm_add_test(test_midi SOURCES test_midi.cpp LABELS sanitize)
