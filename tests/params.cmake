# Parameter descriptions: panel stepping, get and set, the keys files use.
tm_add_test(test_params SOURCES test_params.cpp LABELS sanitize)
