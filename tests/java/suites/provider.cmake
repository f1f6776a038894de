# The JCA provider on a SoftHSM2 token of its own, proven by the JDK's own
# clients: JSSE, keytool, jarsigner, and its Signature and Cipher. A JVM of
# its own: SoftHSM2 initialises once per process.
orv_add_junit(provider_junit PACKAGE orvane.providertest LABELS slow
    ENV SOFTHSM2_CONF=${CMAKE_BINARY_DIR}/tests/softhsm-provider/softhsm2.conf
        ORV_JAR=${ORV_JAR}
        ORV_TOOL_JAR=${ORV_TOOL_JAR}
        ORV_LIBRARY_DIR=${CMAKE_BINARY_DIR})
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/tests/softhsm-provider)
