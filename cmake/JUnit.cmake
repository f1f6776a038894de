# JUnit 5 suites in a real JVM with -Xcheck:jni; any JNI warning fails the run.
set(ORV_JUNIT_CONSOLE /usr/share/java/junit-platform-console-standalone.jar)

# orv_add_junit(name PACKAGE p [STANDIN] [ENV K=V ...] [ARGS ...] [LABELS ...]):
# runs the tests of one package against the shipped library, or with STANDIN
# against the one over the Win32 stand-in; ARGS go to the console launcher.
# Every suite is labelled jvm; LABELS adds slow or card.
function(orv_add_junit name)
    cmake_parse_arguments(J "STANDIN" "PACKAGE" "ENV;ARGS;LABELS" ${ARGN})
    set(library_path ${ORV_JAVA_LIBRARY_PATH})
    if(J_STANDIN)
        set(library_path ${ORV_JAVA_STANDIN_LIBRARY_PATH})
    endif()
    add_test(NAME ${name}
             COMMAND ${CMAKE_SOURCE_DIR}/tests/java/run-junit.sh
                     ${ORV_JUNIT_CONSOLE}
                     ${ORV_JAVA_TEST_CLASSES}:${ORV_JAR}
                     ${library_path}
                     ${J_PACKAGE} ${J_ARGS})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${J_ENV}" TIMEOUT 600 LABELS "jvm;${J_LABELS}")
endfunction()
