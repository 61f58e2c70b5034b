# The oscilloscope's ring between the audio thread and the window's thread.
tm_add_test(test_scope_ring SOURCES test_scope_ring.cpp LABELS concurrency)
