# User messages: sinks, captures around loads, the trace channel.
tm_add_test(test_messages SOURCES test_messages.cpp LABELS concurrency)
