# Hostile patch loads: partition files that are not files, fan-out of nested
# patches, loads on two threads at once, and renders that must not depend on
# the run.
tm_add_test(test_hostile_loads SOURCES test_hostile_loads.cpp LABELS concurrency sanitize)
