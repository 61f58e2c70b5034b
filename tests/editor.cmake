# Editor suites. Only with the editor (TM_GUI).
if(TARGET tm_editor)
    tm_add_test(test_editor SOURCES test_editor.cpp LIBS tm_editor)
    tm_add_test(test_editor_window SOURCES test_editor_window.cpp XVFB)
    tm_add_test(test_editor_damage SOURCES test_editor_damage.cpp LIBS tm_editor XVFB)
endif()
