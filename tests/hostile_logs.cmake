# Log files under planted links, remote floods and a full log, with the real program.
tm_add_test(test_hostile_logs SOURCES test_hostile_logs.cpp LABELS concurrency sanitize)
