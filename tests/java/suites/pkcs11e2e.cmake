# The certificate, object and crypto natives end to end in a JVM against a
# SoftHSM2 token the tests make and fill in the build tree. One JVM of its own,
# since SoftHSM2 can be initialised only once per process.
orv_add_junit(pkcs11e2e_junit PACKAGE orvane.pkcs11e2e LABELS slow
    ENV SOFTHSM2_CONF=${CMAKE_BINARY_DIR}/tests/softhsm-e2e/softhsm2.conf)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/tests/softhsm-e2e)
