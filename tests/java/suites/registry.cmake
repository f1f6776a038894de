# The registry and accessibility natives in a JVM over the stand-in's library.
# The stand-in's state root
# lives in the build tree and gets the suite's .reg file afresh on each run.
set(ORV_REGISTRY_ROOT ${CMAKE_BINARY_DIR}/tests/registry-root)
set(ORV_REGISTRY_DATA ${CMAKE_CURRENT_SOURCE_DIR}/src/orvane/registrytest/registry-test.reg)
add_test(NAME registry_junit_import
         COMMAND sh -c "rm -rf \"$1\" && \"$2\" import-reg \"$3\"" import-registry
                 ${ORV_REGISTRY_ROOT} $<TARGET_FILE:orvwin> ${ORV_REGISTRY_DATA})
set_tests_properties(registry_junit_import PROPERTIES
    ENVIRONMENT ORV_WIN32_ROOT=${ORV_REGISTRY_ROOT}
    FIXTURES_SETUP orv_registry_root LABELS jvm)
orv_add_junit(registry_junit PACKAGE orvane.registrytest STANDIN ENV ORV_WIN32_ROOT=${ORV_REGISTRY_ROOT})
set_tests_properties(registry_junit PROPERTIES FIXTURES_REQUIRED orv_registry_root)
