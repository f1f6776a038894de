# The natives with the diagnostic log on, against the mock module: the log's
# PKCS#11 lines must be the calls the mock saw. Child JVMs (on the test
# classpath) meet the log's edges: a FIFO, a link, another user's file, a
# reader that stops reading. The token tool's suite covers SoftHSM2, the log
# off, stderr and a log that cannot be opened.
orv_add_junit(diaglog_junit PACKAGE orvane.diaglog
    ENV ORVNATIVE_LOG=${CMAKE_BINARY_DIR}/tests/diaglog/orvnative.log
        ORV_P11MOCK=${CMAKE_BINARY_DIR}/tests/p11mock/liborvp11mock.so
        ORV_TEST_CLASSPATH=${ORV_JAVA_TEST_CLASSES}:${ORV_JAR})
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/tests/diaglog)
