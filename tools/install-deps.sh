#!/bin/sh
# Installs, with apt-get, whatever the build, the tests and the demo need and
# this machine lacks. Safe to run again: it does nothing when all is there.
set -e
packages="cmake ninja-build g++ make pkg-config libgtest-dev googletest libssl-dev openssl
          libp11-kit-dev openjdk-17-jdk-headless junit5 softhsm2 libsofthsm2 opensc
          g++-mingw-w64-i686 g++-mingw-w64-x86-64-posix llvm python3
          clang clang-format clang-tidy libclang-rt-14-dev valgrind devscripts strip-nondeterminism diffoscope-minimal
          pcscd vsmartcard-vpcd libcacard-dev libnss3-tools opensc-pkcs11 pcsc-tools iproute2 procps
          osslsigncode libengine-pkcs11-openssl python3-jsonschema"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
wine_missing=""
for p in wine32:i386 wine64; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || wine_missing="wine wine32:i386 wine64"
done

[ -z "$missing$wine_missing" ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
if [ -n "$wine_missing" ]; then
    $SUDO dpkg --add-architecture i386
fi
echo "Installing:$missing $wine_missing"
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends $missing $wine_missing
