# The editing seam: its rules, and edits made while the pump plays.
tm_add_test(test_patch_ops SOURCES test_patch_ops.cpp LABELS concurrency)
