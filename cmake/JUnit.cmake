# JUnit 5 suites in a real JVM with -Xcheck:jni; any JNI warning fails the run.
set(ORV_JUNIT_CONSOLE /usr/share/java/junit-platform-console-standalone.jar)

# orv_add_junit(name PACKAGE p [ENV K=V ...]): runs the tests of one package.
function(orv_add_junit name)
    cmake_parse_arguments(J "" "PACKAGE" "ENV" ${ARGN})
    add_test(NAME ${name}
             COMMAND ${CMAKE_SOURCE_DIR}/tests/java/run-junit.sh
                     ${ORV_JUNIT_CONSOLE}
                     ${ORV_JAVA_TEST_CLASSES}:${ORV_JAR}
                     ${ORV_JAVA_LIBRARY_PATH}
                     ${J_PACKAGE})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${J_ENV}" TIMEOUT 600)
endfunction()
