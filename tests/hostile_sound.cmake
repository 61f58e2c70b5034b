# Sound modules against hostile input: samples at other rates, NaN, infinite
# and negative frequencies.
tm_add_test(test_hostile_sound SOURCES test_hostile_sound.cpp LABELS sanitize)
