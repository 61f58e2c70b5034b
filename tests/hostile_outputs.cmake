# Output files and the command line under hostile use (the real program).
tm_add_test(test_hostile_outputs SOURCES test_hostile_outputs.cpp LABELS sanitize)
