# The complete example of docs/java-api.md, compiled for Java 8 and run against
# a SoftHSM2 token of its own, as an application would (see run-example.sh).
add_test(NAME java_api_example
         COMMAND sh ${CMAKE_SOURCE_DIR}/tests/java/run-example.sh ${ORV_JAR} ${CMAKE_BINARY_DIR}
                 ${CMAKE_BINARY_DIR}/tests/java-api-example)
set_tests_properties(java_api_example PROPERTIES TIMEOUT 120 LABELS "jvm;slow")
