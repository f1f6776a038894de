#!/bin/sh
# run.sh [BUILD_DIR]: the bridge against PKCS#11 modules other than SoftHSM2 and
# OpenSC. Each module is set up in a throwaway directory, each case runs in a
# JVM of its own under `timeout`, and a matrix (module x case) is printed with
# each answer's full text below it. Daemons started here are stopped on every
# path. Exits 1 if any case crashed, hung, failed uncleanly or gave a wrong
# answer; a clean PKCS11Exception is a finding, not a failure.
set -u

repo=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$repo/build/linux}" && pwd)
case_seconds=${ORV_CASE_SECONDS:-60}
pkcs11_dir=/usr/lib/$(uname -m)-linux-gnu/pkcs11
multiarch=/usr/lib/$(uname -m)-linux-gnu
cases="load slots session login certs sign-sha1 sign-sha256 verify digest-sha1 digest-sha256 random wait"

for f in "$build/java/orvnative.jar" "$build/libORVNative.so"; do
    [ -f "$f" ] || { echo "modules: $f is missing; build first" >&2; exit 3; }
done

tmp=$(mktemp -d "${TMPDIR:-/tmp}/orv-modules.XXXXXX")
# The pid files of the daemons this run started, one a line, and where
# openCryptoki's fixed token directory waits to be put back: in files, so the
# cleanup sees what a module's subshell started.
daemons=$tmp/daemons
ock_saved=$tmp/swtok-saved
: >"$daemons"

started() { echo "$1" >>"$daemons"; }

stop_daemons() {
    while read -r pidfile; do
        [ -s "$pidfile" ] || continue
        pid=$(tr -dc 0-9 <"$pidfile")
        [ -n "$pid" ] || continue
        kill "$pid" 2>/dev/null || continue
        i=0
        while kill -0 "$pid" 2>/dev/null && [ $i -lt 20 ]; do
            sleep 0.1
            i=$((i + 1))
        done
        kill -9 "$pid" 2>/dev/null || true
    done <"$daemons"
    : >"$daemons"
}

restore_ock() {
    [ -d "$ock_saved" ] || return 0
    rm -f /var/run/pkcsslotd.pid /dev/shm/var.lib.opencryptoki.swtok /dev/shm/var.lib.opencryptoki.tpm.root
    rm -rf /var/lib/opencryptoki/swtok
    mv "$ock_saved" /var/lib/opencryptoki/swtok
}

cleanup() {
    stop_daemons
    restore_ock
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

random_hex() { od -An -N"$1" -tx1 /dev/urandom | tr -d ' \n'; }

# One key, its certificate and the data every module works on.
material=$tmp/material
sh "$repo/tools/material.sh" keypair "$material" signer || exit 1
openssl x509 -inform DER -in "$material/signer.der" -out "$material/signer.pem"
cp "$material/signer.der" "$material/cert.der"
cp "$material/signer.p8" "$material/key.p8"
head -c 3001 /dev/urandom >"$material/data.bin"
openssl dgst -sha1 -r "$material/data.bin" | cut -d' ' -f1 >"$material/data.sha1"
openssl dgst -sha256 -r "$material/data.bin" | cut -d' ' -f1 >"$material/data.sha256"
mkdir -p "$tmp/classes"
javac -d "$tmp/classes" -cp "$build/java/orvnative.jar" "$repo/tools/modules/ModuleCase.java" || exit 1

results=$tmp/results
: >"$results"
record() { # MODULE CASE CELL TEXT
    printf '%s|%s|%s|%s\n' "$1" "$2" "$3" "$4" >>"$results"
}

# Runs every case against one module; its setting-up left the environment
# (ORV_MODULE, ORV_TOKEN, ORV_PIN and whatever the module reads) exported.
run_cases() { # NAME
    for c in $cases; do
        out=$tmp/case.out
        status=0
        ORV_DIR=${ORV_DIR:-$material} timeout -k 5 "$case_seconds" java -Xmx256m -XX:+UseSerialGC -XX:TieredStopAtLevel=1 \
            -XX:ErrorFile="$tmp/hs_err_%p.log" -Djava.library.path="$build" \
            -cp "$build/java/orvnative.jar:$tmp/classes" ModuleCase "$c" >"$out" 2>&1 || status=$?
        line=$(grep '^RESULT ' "$out" | tail -n 1 | sed 's/^RESULT //')
        if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
            record "$1" "$c" HANG "no answer within $case_seconds s"
        elif [ -z "$line" ] || [ "$status" -ne 0 ]; then
            record "$1" "$c" CRASH "exit status $status: $(grep -m1 -E 'SIG[A-Z]+|Exception|Error' "$out" | tr '|' '/')"
        else
            kind=${line%% *}
            text=$(printf '%s' "${line#* }" | tr '|' '/')
            case $kind in
                ok) record "$1" "$c" ok "$text" ;;
                na) record "$1" "$c" n/a "$text" ;;
                exception)
                    rv=$(printf '%s' "$text" | grep -o 'CKR_[A-Z_0-9]*' | tail -n 1)
                    # The wait's message gives the return value as a decimal number.
                    number=$(printf '%s' "$text" | sed -n "s/.*returned '\([0-9]*\)'.*/\1/p")
                    [ -n "$rv" ] || [ -z "$number" ] || rv=$(printf 'rv 0x%X' "$number")
                    [ "$rv" != "rv 0x54" ] || rv="rv 0x54 (CKR_FUNCTION_NOT_SUPPORTED)"
                    [ -n "$rv" ] || rv="exception"
                    record "$1" "$c" "$rv" "$text" ;;
                wrong) record "$1" "$c" WRONG "$text" ;;
                *) record "$1" "$c" UNCLEAN "$text" ;;
            esac
        fi
    done
}

not_set_up() { # NAME REASON
    for c in $cases; do
        record "$1" "$c" "not set up" "$2"
    done
}

# 1. NSS's softoken, loaded directly: without its init string it refuses C_Initialize(NULL_PTR).
nss() {
    ORV_MODULE=$multiarch/libsoftokn3.so
    [ -f "$ORV_MODULE" ] || { not_set_up nss "libsoftokn3.so is not installed"; return; }
    export ORV_MODULE
    run_cases nss
}

# 2. p11-kit's trust module: the system's CA certificates, read-only.
p11kit() {
    ORV_MODULE=$pkcs11_dir/p11-kit-trust.so
    [ -f "$ORV_MODULE" ] || { not_set_up p11-kit-trust "p11-kit-trust.so is not installed"; return; }
    # The material without a stored certificate to look for among the CA certificates.
    ORV_DIR=$tmp/trust
    mkdir -p "$ORV_DIR"
    cp "$material"/* "$ORV_DIR"
    rm -f "$ORV_DIR/cert.der"
    export ORV_MODULE ORV_DIR
    run_cases p11-kit-trust
}

# 3. openCryptoki's soft token. Its paths are fixed, so the token directory is
# moved aside and put back, and pkcsslotd runs only while the cases do.
ock() {
    ORV_MODULE=$pkcs11_dir/libopencryptoki.so
    if [ ! -f "$ORV_MODULE" ] || [ ! -x /usr/sbin/pkcsslotd ]; then
        not_set_up opencryptoki "opencryptoki is not installed"
        return
    fi
    if pgrep -x pkcsslotd >/dev/null; then
        not_set_up opencryptoki "a pkcsslotd of someone else's is running"
        return
    fi
    for f in /dev/shm/var.lib.opencryptoki.*; do
        [ -e "$f" ] && { not_set_up opencryptoki "$f is left from another run"; return; }
    done
    mv /var/lib/opencryptoki/swtok "$ock_saved"
    mkdir -p /var/lib/opencryptoki/swtok/TOK_OBJ
    chgrp -R pkcs11 /var/lib/opencryptoki/swtok 2>/dev/null || true
    chmod -R 770 /var/lib/opencryptoki/swtok
    # No pkcsslotd runs (checked above), so a pid file left behind names nobody of ours.
    rm -f /var/run/pkcsslotd.pid
    started /var/run/pkcsslotd.pid
    /usr/sbin/pkcsslotd || { not_set_up opencryptoki "pkcsslotd did not start"; return; }
    ORV_PIN=$(random_hex 4)
    ORV_TOKEN=orv-ock
    so_pin=87654321
    log=$tmp/ock-setup.log
    slot=$(timeout 30 pkcs11-tool --module "$ORV_MODULE" -L 2>>"$log" | sed -n 's/^Slot [0-9]* (\(0x[0-9a-f]*\)).*/\1/p' | head -n 1)
    if [ -z "$slot" ] ||
        ! timeout 30 pkcs11-tool --module "$ORV_MODULE" --slot "$slot" --init-token --so-pin "$so_pin" \
            --label "$ORV_TOKEN" >>"$log" 2>&1 ||
        ! timeout 30 pkcs11-tool --module "$ORV_MODULE" --slot "$slot" --login --login-type so --so-pin "$so_pin" \
            --init-pin --pin "$ORV_PIN" >>"$log" 2>&1; then
        not_set_up opencryptoki "token set-up failed: $(tail -n 1 "$log")"
        return
    fi
    for t in cert:signer.der privkey:signer.p8 pubkey:signer.pub; do
        timeout 30 pkcs11-tool --module "$ORV_MODULE" --slot "$slot" --login --pin "$ORV_PIN" \
            --write-object "$material/${t#*:}" --type "${t%%:*}" --id 01 --label signer >>"$log" 2>&1 ||
            { not_set_up opencryptoki "storing ${t#*:} failed: $(tail -n 1 "$log")"; return; }
    done
    export ORV_MODULE ORV_PIN ORV_TOKEN
    run_cases opencryptoki
}

# 4. tpm2-pkcs11 over swtpm. tpm2_ptool needs tpm2-abrmd (on a D-Bus bus of
# our own) to make the token; the module itself then talks to swtpm directly.
tpm2() {
    ORV_MODULE=$pkcs11_dir/libtpm2_pkcs11.so
    for f in "$ORV_MODULE" /usr/bin/swtpm /usr/bin/tpm2_ptool /usr/sbin/tpm2-abrmd /usr/bin/dbus-daemon; do
        [ -e "$f" ] || { not_set_up tpm2-pkcs11 "$f is not installed"; return; }
    done
    dir=$tmp/tpm2
    mkdir -p "$dir/state" "$dir/store"
    log=$dir/setup.log
    port=$(python3 -c 'import socket
s = socket.socket(); s.bind(("127.0.0.1", 0)); t = socket.socket()
p = s.getsockname()[1]
try:
    t.bind(("127.0.0.1", p + 1)); print(p)
except OSError:
    print(0)')
    [ "$port" != 0 ] || { not_set_up tpm2-pkcs11 "no two free ports"; return; }
    started "$dir/swtpm.pid"
    swtpm socket --tpm2 --server type=tcp,port="$port",bindaddr=127.0.0.1 \
        --ctrl type=tcp,port=$((port + 1)),bindaddr=127.0.0.1 --flags not-need-init,startup-clear \
        --tpmstate dir="$dir/state" --daemon --pid file="$dir/swtpm.pid" >>"$log" 2>&1 ||
        { not_set_up tpm2-pkcs11 "swtpm did not start: $(tail -n 1 "$log")"; return; }
    cat >"$dir/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN" "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>session</type><listen>unix:path=$dir/bus</listen>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/><allow user="*"/></policy></busconfig>
EOF
    dbus-daemon --config-file="$dir/bus.conf" --fork --print-pid >"$dir/dbus.pid" 2>>"$log" ||
        { not_set_up tpm2-pkcs11 "dbus-daemon did not start"; return; }
    started "$dir/dbus.pid"
    DBUS_SESSION_BUS_ADDRESS=unix:path=$dir/bus
    TPM2TOOLS_TCTI=tabrmd:bus_type=session
    TPM2_PKCS11_STORE=$dir/store
    export DBUS_SESSION_BUS_ADDRESS TPM2TOOLS_TCTI TPM2_PKCS11_STORE
    tpm2-abrmd --allow-root --session --tcti=swtpm:host=127.0.0.1,port="$port" >>"$log" 2>&1 &
    echo $! >"$dir/abrmd.pid"
    started "$dir/abrmd.pid"
    ORV_PIN=$(random_hex 4)
    ORV_TOKEN=orv-tpm2
    i=0
    until timeout 5 dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.ListNames 2>>"$log" | grep -q com.intel.tss2.Tabrmd; do
        i=$((i + 1))
        [ $i -lt 20 ] || { not_set_up tpm2-pkcs11 "tpm2-abrmd did not come up on the private bus"; return; }
        sleep 0.25
    done
    timeout 60 tpm2_ptool init --path "$dir/store" >>"$log" 2>&1 ||
        { not_set_up tpm2-pkcs11 "tpm2_ptool init failed: $(tail -n 1 "$log")"; return; }
    # The key's allowed mechanisms lack CKM_SHA1_RSA_PKCS (6) after import, and
    # objmod replaces the whole set, so it gets the set back with 6 added.
    if ! tpm2_ptool addtoken --pid=1 --sopin="$(random_hex 4)" --userpin="$ORV_PIN" --label="$ORV_TOKEN" \
            --path "$dir/store" >>"$log" 2>&1 ||
        ! tpm2_ptool import --algorithm=rsa --privkey="$material/signer.key" --label="$ORV_TOKEN" \
            --key-label=signer --id=01 --userpin="$ORV_PIN" --path="$dir/store" >>"$log" 2>&1 ||
        ! tpm2_ptool addcert --label="$ORV_TOKEN" --key-label=signer --path="$dir/store" \
            "$material/signer.pem" >>"$log" 2>&1; then
        not_set_up tpm2-pkcs11 "token set-up failed: $(tail -n 1 "$log")"
        return
    fi
    ids=$(tpm2_ptool listobjects --label="$ORV_TOKEN" --path="$dir/store" 2>>"$log" |
        awk '/CKA_CLASS: CKO_(PRIVATE|PUBLIC)_KEY/ { key = 1 } /^  id:/ { if (key) print $2; key = 0 }')
    for id in $ids; do
        tpm2_ptool objmod --id "$id" --path "$dir/store" >"$dir/attrs$id.yaml" 2>>"$log" &&
            sed '/^1073743360:/a - 6' "$dir/attrs$id.yaml" >"$dir/attrs$id.new.yaml" &&
            tpm2_ptool objmod --id "$id" --path "$dir/store" "$dir/attrs$id.new.yaml" >>"$log" 2>&1 ||
            { not_set_up tpm2-pkcs11 "allowing CKM_SHA1_RSA_PKCS on object $id failed"; return; }
    done
    # swtpm serves one connection at a time: the resource manager steps aside for the module.
    kill "$(cat "$dir/abrmd.pid")" 2>/dev/null
    wait "$(cat "$dir/abrmd.pid")" 2>/dev/null
    TPM2_PKCS11_TCTI="swtpm:host=127.0.0.1,port=$port"
    export ORV_MODULE ORV_PIN ORV_TOKEN TPM2_PKCS11_TCTI
    run_cases tpm2-pkcs11
}

# Each module's setting-up runs in a subshell so its environment stays its own;
# the subshell stops its daemons and puts back what it moved before it ends.
# ORV_MODULES picks some of them: nss p11kit ock tpm2.
for m in ${ORV_MODULES:-nss p11kit ock tpm2}; do
    (
        trap 'stop_daemons; restore_ock' EXIT
        trap 'exit 130' INT TERM HUP
        "$m"
    )
done

matrix() {
    printf '| case |'
    modules=$(cut -d'|' -f1 "$results" | awk '!seen[$0]++')
    for m in $modules; do printf ' %s |' "$m"; done
    printf '\n|---|'
    for m in $modules; do printf -- '---|'; done
    printf '\n'
    for c in $cases; do
        printf '| %s |' "$c"
        for m in $modules; do
            printf ' %s |' "$(awk -F'|' -v m="$m" -v c="$c" '$1 == m && $2 == c { print $3 }' "$results")"
        done
        printf '\n'
    done
}

echo
matrix
echo
echo "Answers in full:"
awk -F'|' '{ printf "- %s / %s: %s: %s\n", $1, $2, $3, $4 }' "$results"
if grep -q -E '\|(HANG|CRASH|UNCLEAN|WRONG)\|' "$results"; then
    echo "modules: a case crashed, hung, failed uncleanly or gave a wrong answer" >&2
    exit 1
fi
exit 0
