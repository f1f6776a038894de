# Many Java threads on one SoftHSM2 module, bounded in time and iterations.
# A JVM of its own: SoftHSM2 initialises once per process.
orv_add_junit(pkcs11stress_junit PACKAGE orvane.pkcs11stress LABELS slow
    ENV SOFTHSM2_CONF=${CMAKE_BINARY_DIR}/tests/softhsm-stress/softhsm2.conf)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/tests/softhsm-stress)
