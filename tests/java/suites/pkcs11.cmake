# The PKCS#11 natives in a JVM, against SoftHSM2 (tokens made in the build
# tree by the tests themselves) and against the fault-injecting mock module.
# The small heap lets a test see a Java allocation fail inside a native.
orv_add_junit(pkcs11_junit PACKAGE orvane.pkcs11test
    ENV JAVA_TOOL_OPTIONS=-Xmx96m
        SOFTHSM2_CONF=${CMAKE_BINARY_DIR}/tests/softhsm/softhsm2.conf
        ORV_P11MOCK=${CMAKE_BINARY_DIR}/tests/p11mock/liborvp11mock.so)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/tests/softhsm)
# PinSecrecyTest's PIN, in clear or hex, must not appear anywhere in the output.
set_tests_properties(pkcs11_junit PROPERTIES FAIL_REGULAR_EXPRESSION "Qz7PinMark;517A3750696E4D61726B;517a3750696e4d61726b")
