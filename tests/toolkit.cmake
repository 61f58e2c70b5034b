# Graphics toolkit suites. Only with the toolkit (TM_GUI).
if(TARGET tm_toolkit)
    tm_add_test(test_widgets SOURCES test_widgets.cpp LIBS tm_toolkit)
    tm_add_test(test_damage SOURCES test_damage.cpp LIBS tm_toolkit)
    tm_add_test(test_panels_rc SOURCES test_panels_rc.cpp LIBS tm_toolkit)
    tm_add_test(test_image_bank SOURCES test_image_bank.cpp LIBS tm_toolkit)
    tm_add_test(test_toolkit_gui SOURCES test_toolkit_gui.cpp LIBS tm_toolkit XVFB)
endif()
