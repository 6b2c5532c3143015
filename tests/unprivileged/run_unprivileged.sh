#!/usr/bin/env bash
# Runs the test program "$@" as a user without root rights: as it is when the
# caller is not root, else as nobody (65534) through setpriv, with a home of
# its own. Fails when setpriv is missing rather than running as root.
set -euo pipefail
if [ "$(id -u)" -ne 0 ]; then
    exec "$@"
fi
command -v setpriv >/dev/null || { echo "setpriv is missing (Debian package util-linux)" >&2; exit 1; }
home=$(mktemp -d)
chown 65534:65534 "$home"
trap 'rm -rf "$home"' EXIT
HOME=$home XDG_RUNTIME_DIR=$home setpriv --reuid=65534 --regid=65534 --clear-groups -- "$@"
