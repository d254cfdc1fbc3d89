#!/usr/bin/env bash
# Installs the Debian packages that the build and the tests need (run as root, or with sudo).
set -euo pipefail
cd "$(dirname "$0")"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
# On a CI machine the peer servers must not start as system services: the tests start their own.
if [ "${CI:-}" = "true" ] && [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\nexit 101\n' | $SUDO tee /usr/sbin/policy-rc.d >/dev/null
    $SUDO chmod +x /usr/sbin/policy-rc.d
    trap '$SUDO rm -f /usr/sbin/policy-rc.d' EXIT
fi
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends $(grep -v '^#' packages.txt)
