# Edit-mode cables. Only with the editor (TM_GUI).
if(TARGET tm_editor)
    tm_add_test(test_cables SOURCES test_cables.cpp LIBS tm_editor)
endif()
