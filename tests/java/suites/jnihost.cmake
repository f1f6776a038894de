# The host's native cases in a real JVM; its transcript must equal that of
# the C++ host (tests/jnihost) over the same shipped libORVNative.so, byte for byte.
set(ORV_JNIHOST_DIR ${CMAKE_BINARY_DIR}/tests/jnihost)
orv_add_junit(jnihost_junit PACKAGE orvane.jnihost
    ENV ORV_JNIHOST_CASES=${CMAKE_SOURCE_DIR}/tests/jnihost/natives.cases
        ORV_JNIHOST_MATERIAL=${ORV_JNIHOST_DIR}/material
        ORV_JNIHOST_TRANSCRIPT=${ORV_JNIHOST_DIR}/transcript-jvm.txt
        ORV_P11MOCK=${CMAKE_BINARY_DIR}/tests/p11mock/liborvp11mock.so)
set_tests_properties(jnihost_junit PROPERTIES FIXTURES_SETUP jnihost_transcripts)
add_test(NAME jnihost_transcripts_match
         COMMAND ${CMAKE_COMMAND} -E compare_files ${ORV_JNIHOST_DIR}/transcript-host.txt
                 ${ORV_JNIHOST_DIR}/transcript-jvm.txt)
set_tests_properties(jnihost_transcripts_match PROPERTIES FIXTURES_REQUIRED jnihost_transcripts LABELS jvm)
