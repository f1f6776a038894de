# Long runs of every native family in a JVM with flat memory, descriptors and
# JNI global references, and SoftHSM2 token labels beyond ASCII. One JVM of its
# own: a fixed pre-touched heap and no JIT keep the process still while a
# series runs. The stand-in's state holds the CryptoAPI material and the
# registry suite's data, made afresh for each run.
set(ORV_HARDENING_ROOT ${CMAKE_BINARY_DIR}/tests/hardening-root)
add_test(NAME hardening_provision
         COMMAND sh -c "sh \"$1\" \"$2\" \"$3\" && \"$2\" import-reg \"$4\"" provision-hardening
                 ${CMAKE_SOURCE_DIR}/tests/capi/provision-junit.sh $<TARGET_FILE:orvwin> ${ORV_HARDENING_ROOT}
                 ${CMAKE_CURRENT_SOURCE_DIR}/src/orvane/registrytest/registry-test.reg)
set_tests_properties(hardening_provision PROPERTIES
    ENVIRONMENT ORV_WIN32_ROOT=${ORV_HARDENING_ROOT}
    FIXTURES_SETUP orv_hardening_state LABELS "jvm;slow")
# Labels a token byte for byte, zero bytes included.
add_executable(init-token-label ${CMAKE_SOURCE_DIR}/tests/java/InitTokenLabel.cpp)
target_include_directories(init-token-label SYSTEM PRIVATE ${P11KIT_INCLUDE_DIR})
target_link_libraries(init-token-label PRIVATE ${CMAKE_DL_LIBS})
# The CryptoAPI and registry series (tagged "standin") run over the stand-in's
# library, each JVM with its own SoftHSM2 tokens; the rest over the shipped one.
orv_add_junit(hardening_junit PACKAGE orvane.hardening ARGS --exclude-tag standin LABELS slow
    ENV "JAVA_TOOL_OPTIONS=-Xint -Xms128m -Xmx128m -XX:+AlwaysPreTouch -XX:+UseSerialGC"
        MALLOC_ARENA_MAX=2
        ORV_INIT_TOKEN_LABEL=$<TARGET_FILE:init-token-label>
        SOFTHSM2_CONF=${CMAKE_BINARY_DIR}/tests/softhsm-hardening/softhsm2.conf)
orv_add_junit(hardening_standin_junit PACKAGE orvane.hardening STANDIN ARGS --include-tag standin LABELS slow
    ENV "JAVA_TOOL_OPTIONS=-Xint -Xms128m -Xmx128m -XX:+AlwaysPreTouch -XX:+UseSerialGC"
        MALLOC_ARENA_MAX=2
        ORV_INIT_TOKEN_LABEL=$<TARGET_FILE:init-token-label>
        SOFTHSM2_CONF=${CMAKE_BINARY_DIR}/tests/softhsm-hardening-standin/softhsm2.conf
        ORV_WIN32_ROOT=${ORV_HARDENING_ROOT})
set_tests_properties(hardening_standin_junit PROPERTIES FIXTURES_REQUIRED orv_hardening_state)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/tests/softhsm-hardening ${CMAKE_BINARY_DIR}/tests/softhsm-hardening-standin)
