#!/bin/sh
# Installs, with apt-get, the PKCS#11 modules `make modules` runs the bridge
# against, and the tools that set them up. Does nothing when all is there.
set -e
packages="libnss3 p11-kit-modules opencryptoki libopencryptoki0 opensc openssl
          libtpm2-pkcs11-1 libtpm2-pkcs11-tools python3-tpm2-pkcs11-tools swtpm swtpm-tools
          libtss2-tcti-swtpm0 tpm2-tools tpm2-abrmd libtss2-tcti-tabrmd0 dbus procps coreutils"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
echo "Installing:$missing"
$SUDO apt-get update -q
# Installing starts no daemon here: the run starts pkcsslotd and swtpm itself.
printf '#!/bin/sh\nexit 101\n' >/tmp/orv-modules-policy-rc.d
chmod +x /tmp/orv-modules-policy-rc.d
if [ -e /usr/sbin/policy-rc.d ]; then
    $SUDO apt-get install -y -q --no-install-recommends $missing
else
    $SUDO cp /tmp/orv-modules-policy-rc.d /usr/sbin/policy-rc.d
    status=0
    $SUDO apt-get install -y -q --no-install-recommends $missing || status=$?
    $SUDO rm -f /usr/sbin/policy-rc.d
    exit $status
fi
