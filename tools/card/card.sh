#!/bin/sh
# card.sh COMMAND STATE [RELAY]: a virtual smart card without hardware, for the
# tests and `make card-demo`. Everything lives in the directory STATE.
#
#   make STATE          NSS database holding an RSA-2048 key and a self-signed
#                       certificate (STATE/cert.der, cert.pem); its password,
#                       which is the card's PIN, in STATE/pin
#   start STATE RELAY   pcscd with a private vpcd reader, then RELAY (the
#                       orvcard-relay program) with the card inserted; makes the
#                       card first when STATE has none. Refuses while another
#                       pcscd runs, since its socket path is fixed
#   remove STATE        pulls the card; returns once PC/SC sees the reader empty
#   insert STATE        puts it back; returns once PC/SC sees the card
#   stop STATE          ends the relay and pcscd started from STATE
#
# ORV_CARD_PORT (default 35963) is vpcd's first reader port; the second reader
# takes the next port.
set -eu

opensc_module=/usr/lib/x86_64-linux-gnu/opensc-pkcs11.so
vpcd_driver=/usr/lib/pcsc/drivers/serial/libifdvpcd.so
pcscd_socket=/run/pcscd/pcscd.comm
port=${ORV_CARD_PORT:-35963}
nickname=orv-card
reader_name="ORV virtual card"

die() {
    echo "card: $*" >&2
    exit 1
}

# A pid counts while its process lives; a zombie left to an init that does not
# reap it does not.
alive() {
    [ -n "$1" ] && [ -r "/proc/$1/stat" ] || return 1
    state=$(sed 's/^.*) //' "/proc/$1/stat" | cut -d' ' -f1)
    [ "$state" != Z ]
}

recorded_pid() {
    [ -f "$state_dir/$1.pid" ] && cat "$state_dir/$1.pid" || true
}

# wait_until SECONDS WHAT COMMAND...: polls every 0.1 s until COMMAND succeeds.
# The bounds are generous: on a loaded machine pcscd's reader poll and OpenSC's
# card detection take seconds, and a slow stack is not what the tests judge.
wait_until() {
    end=$(($(date +%s) + $1 + 1))
    what=$2
    limit=$1
    shift 2
    until "$@"; do
        [ "$(date +%s)" -lt "$end" ] || die "$what did not happen within $limit s"
        sleep 0.1
    done
}

make_card() {
    command -v certutil >/dev/null || die "certutil is missing (install libnss3-tools)"
    rm -rf "$state_dir/nssdb"
    mkdir -p "$state_dir/nssdb"
    pin=${ORV_CARD_PIN:-24681357}
    (umask 077 && printf '%s\n' "$pin" >"$state_dir/pin")
    pwfile="$state_dir/nssdb/.password"
    (umask 077 && printf '%s\n' "$pin" >"$pwfile")
    head -c 64 /dev/urandom >"$state_dir/nssdb/.noise"
    certutil -N -d "sql:$state_dir/nssdb" -f "$pwfile"
    certutil -S -d "sql:$state_dir/nssdb" -f "$pwfile" -z "$state_dir/nssdb/.noise" -n "$nickname" \
        -s "CN=ORV card signer,O=ORVNative" -x -t "CT,C,C" -k rsa -g 2048 -Z SHA256 -v 24 \
        --keyUsage digitalSignature,keyEncipherment,dataEncipherment >/dev/null 2>&1 ||
        die "certutil could not make the key and certificate"
    rm -f "$pwfile" "$state_dir/nssdb/.noise"
    certutil -L -d "sql:$state_dir/nssdb" -n "$nickname" -r >"$state_dir/cert.der"
    openssl x509 -inform DER -in "$state_dir/cert.der" -out "$state_dir/cert.pem"
}

pcscd_up() {
    alive "$(recorded_pid pcscd)" && [ -S "$pcscd_socket" ]
}

vpcd_listening() {
    ss -ltnH "sport = :$port" | grep -q LISTEN
}

relay_state_is() {
    [ "$(cat "$state_dir/card-state" 2>/dev/null)" = "$1" ]
}

# What PC/SC reports for the card's reader: Yes or No. The tools get a bound of
# their own, since a reader that a client left locked holds up every other client.
card_seen() {
    timeout 2 opensc-tool -l 2>/dev/null | awk -v name="$reader_name 00 00" -v want="$1" \
        'index($0, name) { found = ($2 == want) } END { exit !found }'
}

token_visible() {
    timeout 5 pkcs11-tool --module "$opensc_module" -L 2>/dev/null | grep -q "token label"
}

stop_pid() {
    pid=$(recorded_pid "$1")
    if alive "$pid"; then
        kill "$pid" 2>/dev/null || true
        tries=0
        while alive "$pid" && [ "$tries" -lt 50 ]; do
            sleep 0.1
            tries=$((tries + 1))
        done
        if alive "$pid"; then
            echo "card: $1 (pid $pid) ignored SIGTERM; killing it" >&2
            kill -9 "$pid" 2>/dev/null || true
        fi
    fi
    rm -f "$state_dir/$1.pid"
}

stop_stack() {
    stop_pid relay
    stop_pid pcscd
    rm -f "$state_dir/card-state"
}

start_stack() {
    relay=$1
    [ -x "$relay" ] || die "$relay is missing; build the orvcard-relay target"
    [ -f "$vpcd_driver" ] || die "vpcd's driver $vpcd_driver is missing (install vsmartcard-vpcd)"
    for c in pcscd opensc-tool pkcs11-tool ss openssl timeout; do
        command -v "$c" >/dev/null || die "$c is missing (sh tools/install-deps.sh)"
    done
    # A stack left by an earlier run from this directory is ours to end.
    stop_stack
    for pid in $(pgrep -x pcscd || true); do
        alive "$pid" && die "another pcscd is running (pid $pid); this card needs the machine's only PC/SC socket"
    done
    vpcd_listening && die "port $port is taken; set ORV_CARD_PORT"
    [ -f "$state_dir/nssdb/cert9.db" ] || make_card

    # A start that fails half-way leaves nothing running.
    trap stop_stack EXIT

    mkdir -p "$state_dir/reader"
    cat >"$state_dir/reader/vpcd" <<EOF
FRIENDLYNAME "$reader_name"
DEVICENAME   /dev/null:$port
LIBPATH      $vpcd_driver
CHANNELID    $port
EOF
    pcscd --foreground -c "$state_dir/reader" >"$state_dir/pcscd.log" 2>&1 </dev/null &
    echo $! >"$state_dir/pcscd.pid"
    wait_until 15 "pcscd's socket $pcscd_socket" pcscd_up
    wait_until 15 "vpcd listening on port $port" vpcd_listening

    rm -f "$state_dir/card-state"
    "$relay" "$state_dir/nssdb" "$nickname" "$port" "$state_dir/card-state" >"$state_dir/relay.log" 2>&1 </dev/null &
    echo $! >"$state_dir/relay.pid"
    wait_until 15 "the relay connecting to vpcd" relay_state_is in
    wait_until 20 "the token showing in OpenSC's module" token_visible
    trap - EXIT
}

# change SIGNAL WANTED_STATE PCSC_ANSWER
change() {
    pid=$(recorded_pid relay)
    alive "$pid" || die "no relay runs for $state_dir; start first"
    rm -f "$state_dir/card-state"
    kill "-$1" "$pid"
    wait_until 15 "the relay's answer" test -f "$state_dir/card-state"
    relay_state_is "$2" || die "the card is $(cat "$state_dir/card-state") after $1 (see $state_dir/relay.log)"
    wait_until 15 "PC/SC reporting card present: $3" card_seen "$3"
}

[ $# -ge 2 ] || die "usage: card.sh make|start|remove|insert|stop STATE [RELAY]"
command=$1
mkdir -p "$2"
state_dir=$(cd "$2" && pwd)
case $command in
make) make_card ;;
start)
    [ $# -eq 3 ] || die "usage: card.sh start STATE RELAY"
    start_stack "$3"
    ;;
remove) change USR1 out No ;;
insert) change USR2 in Yes ;;
stop) stop_stack ;;
*) die "unknown command $command" ;;
esac
