#!/usr/bin/env bash
# Installs the Debian packages that the build and the tests need (run as root, or with sudo).
set -euo pipefail
cd "$(dirname "$0")"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends $(grep -v '^#' packages.txt)
