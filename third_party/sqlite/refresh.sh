#!/usr/bin/env bash
# Replaces sqlite3.c and sqlite3.h with those of the npm package better-sqlite3
# at the version given (see README.md).
set -euo pipefail
cd "$(dirname "$0")"
version=${1:?usage: $0 BETTER_SQLITE3_VERSION}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && npm pack --silent "better-sqlite3@$version" >/dev/null)
tar -xzf "$work"/better-sqlite3-*.tgz -C "$work" package/deps/sqlite3/sqlite3.c package/deps/sqlite3/sqlite3.h
cp "$work/package/deps/sqlite3/sqlite3.c" "$work/package/deps/sqlite3/sqlite3.h" .
grep -m1 '#define SQLITE_VERSION ' sqlite3.h
