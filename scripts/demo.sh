#!/usr/bin/env bash
# The demo command: installs what is needed, builds, starts a private MariaDB
# loaded with demo farm data, points the data source mytnflower at it, starts
# the label printer emulator and then the station window. Without a display the
# station runs under Xvfb and a screenshot of it is saved.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
run=$root/.run
mkdir -p "$run"
port=${VELMAR_DEMO_PORT:-33306}

scripts/setup.sh
targets="velmar velmar-cli"
[[ -f apps/velmar-impresora/CMakeLists.txt ]] && targets+=" velmar-impresora"
BUILD_DIR=$root/build TARGETS=$targets scripts/build.sh

scripts/db.sh start "$run/demo-db" "$port"
if ! mariadb --no-defaults --socket="$run/demo-db/mysqld.sock" -uroot -e 'use velmar_demo' 2>/dev/null; then
  mariadb --no-defaults --socket="$run/demo-db/mysqld.sock" -uroot \
    -e 'CREATE DATABASE velmar_demo CHARACTER SET utf8mb4'
  for f in db/schema.sql db/demo.sql; do
    [[ -f $f ]] && mariadb --no-defaults --default-character-set=utf8mb4 \
      --socket="$run/demo-db/mysqld.sock" -uroot velmar_demo <"$f"
  done
fi
eval "$(scripts/db.sh odbc "$run/demo-db" "$port" velmar_demo)"
echo "demo: data source mytnflower -> 127.0.0.1:$port/velmar_demo (ODBCINI=$ODBCINI)"

# Everything the demo started stops with it: the station, the emulator, Xvfb
# and the demo database server (its data stays in .run for the next demo).
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  # gone before the demo ends: a dying X server on a display confuses the next one
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  scripts/db.sh stop "$run/demo-db" >/dev/null 2>&1 || true
}
trap cleanup EXIT

if [[ -x build/apps/velmar-impresora/velmar-impresora ]]; then
  mkdir -p "$run/etiquetas"
  build/apps/velmar-impresora/velmar-impresora --port 9100 --out "$run/etiquetas" \
    >"$run/impresora.log" 2>&1 &
  pids+=($!)
  export VELMAR_IMPRESORA=socket://127.0.0.1:9100
  echo "demo: labels go to the printer emulator; images in $run/etiquetas"
fi

if [[ -n ${DISPLAY:-} ]]; then
  build/apps/velmar || true
  exit 0
fi

# VELMAR_DEMO_DISPLAY names a display number to use; without it Xvfb takes a
# free one and writes its number once it accepts clients.
if [[ -n ${VELMAR_DEMO_DISPLAY:-} ]]; then
  Xvfb ":$VELMAR_DEMO_DISPLAY" -noreset -screen 0 1024x768x24 -nolisten tcp >"$run/xvfb.log" 2>&1 &
  pids+=($!)
  display=:$VELMAR_DEMO_DISPLAY
  sleep 1
else
  rm -f "$run/xvfb.display"
  Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -nolisten tcp 3>"$run/xvfb.display" >"$run/xvfb.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do
    [[ -s $run/xvfb.display ]] && break
    sleep 0.1
  done
  [[ -s $run/xvfb.display ]] || { echo "demo: Xvfb did not start, see $run/xvfb.log" >&2; exit 1; }
  display=:$(<"$run/xvfb.display")
fi
export DISPLAY=$display
echo "demo: the station runs on display $DISPLAY"
build/apps/velmar >"$run/velmar.log" 2>&1 &
pids+=($!)
sleep 3
shot=$run/velmar-demo.png
import -window root "$shot"
echo "demo: screenshot of the station window: $shot"

if [[ -n ${VELMAR_IMPRESORA:-} ]]; then
  # Show the three labels of a demo box on the emulator.
  for op in imprimir_detalle_peq imprimir_detalle imprimir_detalle_bqt; do
    build/apps/velmar-cli "$op" 850 1 "" </dev/null || true
  done
  sleep 1
  ls "$run"/etiquetas/*.png 2>/dev/null | sed 's/^/demo: label image: /' || true
fi
