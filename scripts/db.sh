#!/usr/bin/env bash
# A private MariaDB server for the demo and the tests: its own data folder,
# 127.0.0.1 only, its own port and socket, stopped by its PID.
#
#   db.sh start DIR PORT   initialise DIR if new, start the server, wait for it
#   db.sh stop DIR         stop the server started in DIR
#   db.sh odbc DIR PORT DATABASE
#                          write DIR/odbc/{odbcinst,odbc}.ini defining the data
#                          source mytnflower for that server and database
set -euo pipefail

cmd=${1:?usage: db.sh start|stop|odbc DIR [PORT] [DATABASE]}
dir=$(realpath -m "${2:?data folder missing}")

mariadbd=$(command -v mariadbd || echo /usr/sbin/mariadbd)
user_opt=()
[[ $(id -u) -eq 0 ]] && user_opt=(--user=root)

start() {
  local port=${1:?port missing}
  mkdir -p "$dir"
  if [[ -f $dir/mariadbd.pid ]] && kill -0 "$(cat "$dir/mariadbd.pid")" 2>/dev/null; then
    echo "db: already running in $dir"
    return 0
  fi
  if [[ ! -d $dir/data/mysql ]]; then
    mariadb-install-db --no-defaults "${user_opt[@]}" --datadir="$dir/data" \
      --auth-root-authentication-method=normal --skip-test-db >"$dir/install.log" 2>&1 ||
      { cat "$dir/install.log" >&2; exit 1; }
  fi
  "$mariadbd" --no-defaults "${user_opt[@]}" --datadir="$dir/data" \
    --bind-address=127.0.0.1 --port="$port" --socket="$dir/mysqld.sock" \
    --pid-file="$dir/mariadbd.pid" --log-error="$dir/error.log" \
    --innodb-buffer-pool-size=64M --innodb-log-file-size=48M \
    --skip-name-resolve --character-set-server=utf8mb4 \
    --collation-server=utf8mb4_general_ci --max-connections=200 \
    --innodb-flush-log-at-trx-commit=2 >/dev/null 2>&1 &
  local pid=$!
  for _ in $(seq 1 300); do
    kill -0 "$pid" 2>/dev/null || break
    if mariadb --no-defaults --socket="$dir/mysqld.sock" -uroot -e 'select 1' >/dev/null 2>&1; then
      mariadb --no-defaults --socket="$dir/mysqld.sock" -uroot -e \
        "CREATE USER IF NOT EXISTS 'velmar'@'127.0.0.1' IDENTIFIED BY 'velmar';
         GRANT ALL ON *.* TO 'velmar'@'127.0.0.1';"
      echo "db: running in $dir on 127.0.0.1:$port"
      return 0
    fi
    sleep 0.1
  done
  echo "db: the server did not answer; see $dir/error.log" >&2
  tail -20 "$dir/error.log" >&2 || true
  exit 1
}

stop() {
  [[ -f $dir/mariadbd.pid ]] || return 0
  local pid
  pid=$(cat "$dir/mariadbd.pid")
  kill "$pid" 2>/dev/null || true
  for _ in $(seq 1 300); do
    kill -0 "$pid" 2>/dev/null || { echo "db: stopped"; return 0; }
    sleep 0.1
  done
  kill -9 "$pid" 2>/dev/null || true
}

odbc() {
  local port=${1:?port missing} database=${2:?database missing}
  local driver
  driver=$(find /usr/lib -name libmaodbc.so -print -quit)
  [[ -n $driver ]] || { echo "db: MariaDB Connector/ODBC is not installed" >&2; exit 1; }
  mkdir -p "$dir/odbc"
  cat >"$dir/odbc/odbcinst.ini" <<INI
[MariaDB Unicode]
Description=MariaDB Connector/ODBC (Unicode)
Driver=$driver
Threading=0
INI
  cat >"$dir/odbc/odbc.ini" <<INI
[mytnflower]
Description=Velmar farm database
Driver=MariaDB Unicode
SERVER=127.0.0.1
PORT=$port
DATABASE=$database
USER=velmar
PASSWORD=velmar
CHARSET=utf8mb4
INI
  echo "export ODBCSYSINI=$dir/odbc ODBCINI=$dir/odbc/odbc.ini"
}

case $cmd in
  start) start "${3:-}" ;;
  stop) stop ;;
  odbc) odbc "${3:-}" "${4:-}" ;;
  *) echo "usage: db.sh start|stop|odbc DIR [PORT] [DATABASE]" >&2; exit 2 ;;
esac
