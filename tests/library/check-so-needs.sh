#!/bin/sh
# check-so-needs.sh READELF NM LIBRARY
# The shipped library answers as Linux on its own: it needs no OpenSSL and
# reads no environment variable.
readelf=$1 nm=$2 library=$3
needed=$("$readelf" -d "$library" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p') || { echo "FAIL: $readelf -d $library"; exit 1; }
imports=$("$nm" -D --undefined-only "$library" | awk '{print $NF}' | sed 's/@.*//') || { echo "FAIL: $nm -D $library"; exit 1; }
status=0
for lib in $needed; do
    case $lib in libcrypto* | libssl*) echo "FAIL: $library needs $lib"; status=1 ;; esac
done
for symbol in $imports; do
    case $symbol in getenv | secure_getenv) echo "FAIL: $library imports $symbol"; status=1 ;; esac
done
[ -n "$needed" ] || { echo "FAIL: no NEEDED entries read from $library"; status=1; }
[ $status -eq 0 ] && echo "OK: needs" $needed
exit $status
