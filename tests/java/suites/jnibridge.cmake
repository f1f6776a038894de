# JNI frame in a real JVM: wrappers and exception routines through the
# orvjnitest library, and the load hook of libORVNative. The small heap lets
# a wrapper's NewByteArray run out of Java memory on purpose.
orv_add_junit(jnibridge_junit PACKAGE orvane.jnitest
    ENV JAVA_TOOL_OPTIONS=-Xmx64m ORV_NATIVE_TABLE=${CMAKE_BINARY_DIR}/tests/library/orv_native_table)
