#!/usr/bin/env bash
# The test command: installs what is needed, builds, and runs the whole suite
# with CTest against private MariaDB servers (and a private CUPS where a test
# needs one). Everything it starts it stops again.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh

export VELMAR_TEST_DB_DIR=${VELMAR_TEST_DB_DIR:-/tmp/velmar-test-db-$$}
export VELMAR_TEST_DB_PORT=${VELMAR_TEST_DB_PORT:-33307}
trap 'scripts/db.sh stop "$VELMAR_TEST_DB_DIR" >/dev/null 2>&1 || true; rm -rf "$VELMAR_TEST_DB_DIR"' EXIT

BUILD_DIR=$root/build scripts/build.sh \
  -DVELMAR_TEST_DB_DIR="$VELMAR_TEST_DB_DIR" -DVELMAR_TEST_DB_PORT="$VELMAR_TEST_DB_PORT"

# What a farm meets before any test: the Debian package builds from this tree
# and depends on the fonts its window needs; the demo stops the database server
# it started.
(cd build && rm -f velmar_*.deb && cpack -G DEB >/dev/null)
depends=$(dpkg-deb -f build/velmar_*.deb Depends)
for p in fonts-liberation fonts-dejavu-core libqt6sql6-odbc odbc-mariadb; do
  grep -q "$p" <<<"$depends" || { echo "package: $p missing from Depends: $depends" >&2; exit 1; }
done
dpkg-deb -I build/velmar_*.deb postinst | grep -q 'install -d .*-m 2775 /var/lib/velmar' ||
  { echo "package: its postinst does not create /var/lib/velmar" >&2; exit 1; }
demo_port=$((VELMAR_TEST_DB_PORT + 1))
VELMAR_DEMO_PORT=$demo_port DISPLAY= scripts/demo.sh >/dev/null
if mariadb-admin --no-defaults -h127.0.0.1 -P"$demo_port" -uroot ping >/dev/null 2>&1; then
  echo "demo: its database server is still running after the demo ended" >&2
  exit 1
fi
echo "package and demo: ok"

ctest --test-dir build --output-on-failure -j2 --timeout 600

# The same suite built with AddressSanitizer and UndefinedBehaviorSanitizer.
# Leak checking stays off: the ODBC driver manager and Qt keep process-lifetime
# allocations that would drown real reports.
if [[ ${VELMAR_SKIP_SANITIZERS:-0} != 1 ]]; then
  BUILD_DIR=$root/build-asan scripts/build.sh -DCMAKE_BUILD_TYPE=Debug -DVELMAR_SANITIZE=ON \
    -DVELMAR_BENCH=OFF \
    -DVELMAR_TEST_DB_DIR="$VELMAR_TEST_DB_DIR" -DVELMAR_TEST_DB_PORT="$VELMAR_TEST_DB_PORT"
  ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j2 --timeout 900
fi
