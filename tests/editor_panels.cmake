# Module panels of the editor. Only with the editor (TM_GUI).
if(TARGET tm_editor)
    tm_add_test(test_module_panels SOURCES test_module_panels.cpp LIBS tm_editor)
endif()
