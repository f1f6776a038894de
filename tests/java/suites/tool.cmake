# The token tool, run as a child process against SoftHSM2 tokens the tests
# provision themselves; and the demo script, which doubles as its regression test.
orv_add_junit(tool_junit PACKAGE orvane.tooltest LABELS slow
              ENV ORV_TOOL_JAR=${ORV_TOOL_JAR}
                  ORV_JAR=${ORV_JAR}
                  ORV_LIBRARY_DIR=${CMAKE_BINARY_DIR}
                  ORV_VERSION=${ORV_VERSION})
add_test(NAME tool_demo COMMAND sh ${CMAKE_SOURCE_DIR}/tools/demo.sh ${CMAKE_BINARY_DIR})
set_tests_properties(tool_demo PROPERTIES TIMEOUT 120 LABELS "jvm;slow")
