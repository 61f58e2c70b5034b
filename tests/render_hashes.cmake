# The sound must not change by accident: the demos and the benchmark graphs are
# rendered and their frames' SHA-256 compared with tests/data/render_hashes.txt
# (tools/render_hashes.py --record writes it when a change of sound is meant).
# Only in the normal build: sanitizer builds are not where the sound is judged.
if(NOT TM_SANITIZE)
    add_test(NAME render_hashes
             COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tools/render_hashes.py
                     --program $<TARGET_FILE:tmodular> --data ${TM_SOURCE_DATA_DIR}
                     --list ${CMAKE_CURRENT_SOURCE_DIR}/data/render_hashes.txt)
    set_tests_properties(render_hashes PROPERTIES LABELS render)
    # The same hashes with every module computed one at a time (no lanes).
    add_test(NAME render_hashes_one_at_a_time
             COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/tools/render_hashes.py
                     --program $<TARGET_FILE:tmodular> --data ${TM_SOURCE_DATA_DIR}
                     --list ${CMAKE_CURRENT_SOURCE_DIR}/data/render_hashes.txt)
    set_tests_properties(render_hashes_one_at_a_time PROPERTIES LABELS render
                         ENVIRONMENT TM_LANES=0)
endif()
