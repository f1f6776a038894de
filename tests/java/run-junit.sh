#!/bin/sh
# run-junit.sh CONSOLE_JAR CLASSPATH LIBRARY_PATH PACKAGE [LAUNCHER_OPTION...]
# Runs one package of JUnit tests with -Xcheck:jni. The JVM reports JNI misuse
# as warnings without failing, so the output is scanned for them. The tests
# make their keys and tokens with tools/material.sh, which also names the
# SoftHSM2 module (empty where there is none: not every package needs it).
console=$1 classpath=$2 libpath=$3 package=$4
shift 4
material=$(cd "$(dirname "$0")/../.." && pwd)/tools/material.sh
softhsm=$(sh "$material" softhsm-path 2>/dev/null) || softhsm=
log=$(mktemp)
trap 'rm -f "$log"' EXIT
java -Xcheck:jni -Djava.library.path="$libpath" -Dorv.material="$material" -Dorv.softhsm="$softhsm" \
     -jar "$console" --disable-banner --details=tree --fail-if-no-tests \
     -cp "$classpath" --select-package "$package" "$@" >"$log" 2>&1
status=$?
cat "$log"
if grep -E "WARNING in native method|WARNING: JNI local refs|FATAL ERROR in native method|JNI DETECTED ERROR" "$log" >/dev/null; then
    echo "run-junit: the JVM reported JNI misuse (see above)" >&2
    exit 1
fi
exit $status
