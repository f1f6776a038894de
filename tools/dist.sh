#!/bin/sh
# dist.sh BUILD DIST: the release files, from the linux, win32 and win64 trees
# (configured and built here as needed), into DIST with SHA256SUMS over them:
# the binaries (the DLLs signed when SIGN_CERT and SIGN_KEY are set, see
# tools/sign.sh), their debug files, the jars, the licences, the bill of
# materials and the source archive. Two clean clones of one commit, or a clone
# and its unpacked source archive, give the same bytes; compare two DIST
# directories with `diffoscope A B` when they do not. DIST is written whole
# or not at all: the files are gathered beside it and moved in at the end.
set -eu
build=$1 dist=$2
jobs=${JOBS:-2}
fail() {
    echo "dist: $*" >&2
    exit 1
}
# Files named relative to where make ran, which need not be the checkout.
for var in SIGN_CERT SIGN_KEY SIGN_PKCS11_MODULE SOURCE_ARCHIVE; do
    eval "value=\${$var-}"
    case $value in '' | /* | pkcs11:*) ;; *) eval "$var=\$PWD/\$value" ;; esac
done
top=$(cd "$(dirname "$0")/.." && pwd -P)
cd "$top"
version=$(cat VERSION)

# The commit's id and time: from git in a checkout; an unpacked source archive
# has them in tools/archive-commit, which git archive fills in.
commit="" commit_time=0
if [ "$(git rev-parse --show-toplevel 2>/dev/null)" = "$top" ]; then
    commit=$(git rev-parse HEAD) commit_time=$(git log -1 --format=%ct)
    in_git=yes
else
    read -r archived_commit archived_time <tools/archive-commit
    case $archived_commit in
    *Format*) [ -n "${SOURCE_DATE_EPOCH-}" ] ||
        echo "dist: neither a git checkout nor an unpacked source archive; files dated 1970 (set SOURCE_DATE_EPOCH)" >&2 ;;
    *) commit=$archived_commit commit_time=$archived_time ;;
    esac
    in_git=""
fi
# Jar entries and signatures are dated from the commit, not from the build.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$commit_time}
export SOURCE_DATE_EPOCH
# The PIN goes to the signing step alone, not to every compiler and tool.
case " ${MAKEFLAGS-} " in
*SIGN_PIN=*) fail "SIGN_PIN on make's command line shows in ps; export it in the environment instead" ;;
esac
pin=${SIGN_PIN-}
unset SIGN_PIN
signing=""
if [ -n "${SIGN_CERT-}${SIGN_KEY-}" ]; then
    signing=yes
    export SIGN_CERT SIGN_KEY SIGN_PKCS11_MODULE
fi

for tree in linux win32 win64; do
    ${MAKE:-make} -s BUILD="$build" "$build/$tree/build.ninja"
done
cmake --build "$build/linux" -j "$jobs" --target ORVNative orvnative_jar orvtool_jar
cmake --build "$build/win32" -j "$jobs" --target ORVNative
cmake --build "$build/win64" -j "$jobs" --target ORVNative

mkdir -p "$(dirname "$dist")"
stage=$(mktemp -d "$(dirname "$dist")/.dist.XXXXXX")
trap 'rm -rf "$stage"' EXIT
trap 'exit 1' HUP INT TERM
mkdir -p "$stage/windows-x86" "$stage/windows-x64" "$stage/linux-x86_64" "$stage/tool" "$stage/licenses"
ship() { # FILE DIRECTORY: the binary and its debug file
    cp "$1" "$1.debug" "$2/"
}
ship "$build/win32/bin/ORVNative.dll" "$stage/windows-x86"
ship "$build/win64/bin/ORVNative.dll" "$stage/windows-x64"
ship "$build/linux/libORVNative.so" "$stage/linux-x86_64"
# orvtool.jar's manifest finds orvnative.jar one directory up.
cp "$build/linux/java/orvnative.jar" "$stage/"
cp "$build/linux/java/tool/orvtool.jar" "$stage/tool/"
strip-nondeterminism --timestamp "$SOURCE_DATE_EPOCH" "$stage/orvnative.jar" "$stage/tool/orvtool.jar" >/dev/null

# The DLLs link in the GCC runtime (libstdc++, libgcc, libssp) and mingw-w64's
# CRT start-up code and winpthreads.
cp /usr/share/doc/gcc-mingw-w64-base/copyright "$stage/licenses/gcc-runtime.txt"
cp /usr/share/common-licenses/GPL-3 "$stage/licenses/GPL-3.txt"
cp /usr/share/doc/mingw-w64-common/copyright "$stage/licenses/mingw-w64-and-winpthreads.txt"
cp VERSION "$stage/VERSION"

# The sources of the commit; outside a checkout, the archive this tree came from.
src=orvnative-$version-src.tar.gz
if [ -n "$in_git" ]; then
    git diff --quiet HEAD -- || echo "dist: uncommitted changes are in the binaries but not in $src" >&2
    git archive --format=tar --prefix="orvnative-$version/" HEAD | gzip -n -9 >"$stage/$src"
elif [ -n "${SOURCE_ARCHIVE-}" ]; then
    archive_commit=$(gzip -dc "$SOURCE_ARCHIVE" | git get-tar-commit-id) ||
        fail "SOURCE_ARCHIVE=$SOURCE_ARCHIVE is no archive git made"
    [ "$archive_commit" = "$commit" ] || fail "SOURCE_ARCHIVE holds commit $archive_commit, this tree is ${commit:-no commit}"
    cp "$SOURCE_ARCHIVE" "$stage/$src"
else
    echo "dist: not a git checkout, so no $src (SOURCE_ARCHIVE=FILE ships the archive this tree came from)" >&2
fi

if [ -n "$signing" ]; then
    (cd "$stage" && SIGN_PIN=$pin sh "$top/tools/sign.sh" windows-x86/ORVNative.dll windows-x64/ORVNative.dll) ||
        fail "signing failed; $dist is left as it was"
fi
python3 tools/sbom.py "$build" "$stage" "$version" >"$stage/orvnative-$version.cdx.json"

find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
(cd "$stage" && find . -type f ! -name SHA256SUMS | LC_ALL=C sort | sed 's|^\./||' | xargs sha256sum >SHA256SUMS)
chmod 755 "$stage"
rm -rf "$dist"
mv "$stage" "$dist"
trap - EXIT
echo "dist: $(wc -l <"$dist/SHA256SUMS") files in $dist, version $version${signing:+, DLLs signed}"
