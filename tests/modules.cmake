# The sound modules, their files (parameter lines, partition files, samples)
# and the demo patches rendered by the real program.
tm_add_test(test_vca_mixer SOURCES test_vca_mixer.cpp LABELS sanitize)
tm_add_test(test_filters SOURCES test_filters.cpp LABELS sanitize)
tm_add_test(test_sequencer SOURCES test_sequencer.cpp LABELS sanitize)
tm_add_test(test_control SOURCES test_control.cpp LABELS sanitize)
tm_add_test(test_delay_phaser SOURCES test_delay_phaser.cpp LABELS sanitize)
tm_add_test(test_multi_vco_fake303 SOURCES test_multi_vco_fake303.cpp LABELS sanitize)
tm_add_test(test_sampler SOURCES test_sampler.cpp LABELS sanitize)
