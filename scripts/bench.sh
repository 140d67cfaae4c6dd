#!/usr/bin/env bash
# The benchmark command: installs, builds, starts a private MariaDB and prints
# one table of measurements. Not part of the tests' pass/fail.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh
export VELMAR_TEST_DB_DIR=${VELMAR_TEST_DB_DIR:-/tmp/velmar-bench-db-$$}
export VELMAR_TEST_DB_PORT=${VELMAR_TEST_DB_PORT:-33308}
trap 'scripts/db.sh stop "$VELMAR_TEST_DB_DIR" >/dev/null 2>&1 || true; rm -rf "$VELMAR_TEST_DB_DIR"' EXIT
BUILD_DIR=$root/build-bench TARGETS=velmar-bench scripts/build.sh -DCMAKE_BUILD_TYPE=Release
scripts/db.sh start "$VELMAR_TEST_DB_DIR" "$VELMAR_TEST_DB_PORT" >/dev/null
echo "máquina: $(nproc) núcleos, $(free -g | awk '/Mem:/ {print $2}') GiB, $(lscpu | sed -n 's/^Model name: *//p')"
build-bench/bench/velmar-bench "$@"
