# The oscilloscope's ring between the audio thread and the window's thread.
tm_add_test(test_scope_ring SOURCES test_scope_ring.cpp LABELS concurrency)
# The oscilloscope view and the remote control of the editor window.
if(TARGET tm_editor)
    tm_add_test(test_editor_scope SOURCES test_editor_scope.cpp XVFB)
endif()
