# CapiToken natives in a JVM over the stand-in's library, whose state directory is made
# afresh for each run by provision-junit.sh.
set(ORV_CAPI_JUNIT_ROOT ${CMAKE_BINARY_DIR}/tests/capi-junit-root)
add_test(NAME capi_junit_provision
         COMMAND sh ${CMAKE_SOURCE_DIR}/tests/capi/provision-junit.sh $<TARGET_FILE:orvwin> ${ORV_CAPI_JUNIT_ROOT})
set_tests_properties(capi_junit_provision PROPERTIES FIXTURES_SETUP capi_junit_state LABELS jvm)
orv_add_junit(capi_junit PACKAGE orvane.capitest STANDIN ENV ORV_WIN32_ROOT=${ORV_CAPI_JUNIT_ROOT})
set_tests_properties(capi_junit PROPERTIES FIXTURES_REQUIRED capi_junit_state)
