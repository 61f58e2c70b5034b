# The shipped layout files against the shipped image bundle. Only with the toolkit.
if(TARGET tm_toolkit)
    tm_add_test(test_layouts SOURCES test_layouts.cpp LIBS tm_toolkit XVFB)
endif()
