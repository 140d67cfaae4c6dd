#!/usr/bin/env bash
# A private three-node MariaDB Galera cluster on this machine with HAProxy in
# front, for the cluster test and for trying a farm's setup (docs/cluster.md).
# Node N (1..3) listens on its own loopback address 127.0.0.1N with the same
# ports on each: client PORT, Galera PORT+1, IST PORT+2, SST PORT+3. HAProxy
# listens on 127.0.0.1:PORT and sends every connection to one node (node1,
# else node2, else node3): a single writer.
#
#   cluster.sh start DIR [PORT]   create DIR if new, start the nodes and HAProxy
#   cluster.sh stop DIR           stop HAProxy and the nodes; nothing stays running
#   cluster.sh status DIR         each node's state and the node HAProxy uses
#   cluster.sh kill DIR N         SIGKILL node N (a crash)
#   cluster.sh rejoin DIR N       restart node N at its recovered position (IST)
#   cluster.sh odbc DIR DATABASE  write DIR/odbc/*.ini: mytnflower -> HAProxy
#   cluster.sh sql DIR N [ARGS]   the mariadb client as root on node N's socket
set -euo pipefail

cmd=${1:?usage: cluster.sh start|stop|status|kill|rejoin|odbc|sql DIR ...}
dir=$(realpath -m "${2:?cluster folder missing}")
shift 2 || true

mariadbd=$(command -v mariadbd || echo /usr/sbin/mariadbd)
galera=/usr/lib/galera/libgalera_smm.so
# rsync SST fails as root (its daemon drops to nobody): as root the nodes run
# as mysql; as anyone else they run as that user.
run_as=$(id -un)
[[ $(id -u) -eq 0 ]] && run_as=mysql

port() { cat "$dir/port"; }
addr() { echo "127.0.0.1$1"; }
ndir() { echo "$dir/node$1"; }
# The server's own pid, which is also its session and process group id.
npid() { cat "$(ndir "$1")/pgid" 2>/dev/null || true; }
alive() { local p; p=$(npid "$1"); [[ -n $p ]] && kill -0 "$p" 2>/dev/null; }
client() { mariadb --no-defaults --socket="$(ndir "$1")/mysqld.sock" -uroot "${@:2}"; }
wsrep() {
  client "$1" -N -B --connect-timeout=2 -e "SHOW GLOBAL STATUS LIKE '$2'" 2>/dev/null |
    cut -f2 || true
}
hapid() { cat "$dir/haproxy.pid" 2>/dev/null || true; }
ha_alive() { local p; p=$(hapid); [[ -n $p ]] && kill -0 "$p" 2>/dev/null; }

write_config() {
  local n=$1 p a d
  p=$(port)
  a=$(addr "$n")
  d=$(ndir "$n")
  mkdir -p "$d/data"
  cat >"$d/my.cnf" <<CNF
[mysqld]
user=$run_as
datadir=$d/data
socket=$d/mysqld.sock
pid-file=$d/mariadbd.pid
log-error=$d/error.log
bind-address=$a
port=$p
skip-name-resolve
character-set-server=utf8mb4
collation-server=utf8mb4_general_ci
max-connections=200
innodb-buffer-pool-size=64M
innodb-log-file-size=48M
innodb-flush-log-at-trx-commit=2
binlog-format=ROW
default-storage-engine=InnoDB
innodb-autoinc-lock-mode=2
wsrep-on=ON
wsrep-provider=$galera
wsrep-cluster-name=velmar
wsrep-cluster-address=gcomm://$(addr 1):$((p + 1)),$(addr 2):$((p + 1)),$(addr 3):$((p + 1))
wsrep-node-name=node$n
wsrep-node-address=$a
wsrep-provider-options="gmcast.listen_addr=tcp://$a:$((p + 1));ist.recv_addr=$a:$((p + 2));gcache.size=64M"
wsrep-sst-method=rsync
wsrep-sst-receive-address=$a:$((p + 3))
# A read waits for the writes the cluster had already ordered: a scan right
# after a switch of node sees the rows the previous node committed.
wsrep-sync-wait=1
CNF
  [[ $run_as == mysql ]] && chown -R mysql:mysql "$d"
  return 0
}

# The position a node stopped at, as Debian's unit finds it before starting.
recover() {
  local n=$1 d pos
  d=$(ndir "$n")
  [[ -d $d/data/mysql ]] || return 0
  rm -f "$d/recover.log"
  "$mariadbd" --defaults-file="$d/my.cnf" --wsrep-recover --log-error="$d/recover.log" \
    >/dev/null 2>&1 || true
  pos=$(sed -n 's/.*WSREP: Recovered position: *\([^ ]*\).*/\1/p' "$d/recover.log" | tail -1)
  echo "$pos"
}

# Wait until node N is Synced (wsrep_local_state 4); fail if it died.
wait_synced() {
  local n=$1 s
  for _ in $(seq 1 1200); do
    alive "$n" || break
    s=$(wsrep "$n" wsrep_local_state)
    [[ $s == 4 ]] && return 0
    sleep 0.1
  done
  echo "cluster: node$n did not reach Synced; see $(ndir "$n")/error.log" >&2
  tail -20 "$(ndir "$n")/error.log" >&2 || true
  return 1
}

# Start node N: "new" bootstraps a new cluster from it; otherwise it joins,
# from its recovered position when it has data (IST instead of a full SST).
start_node() {
  local n=$1 mode=${2:-join} d pos
  d=$(ndir "$n")
  alive "$n" && return 0
  write_config "$n"
  local opts=()
  [[ $mode == new ]] && opts+=(--wsrep-new-cluster)
  pos=$(recover "$n")
  [[ -n $pos ]] && opts+=("--wsrep-start-position=$pos")
  # Its own session (setsid execs in place: $! is the server): stop ends the
  # server and its SST helpers by that group id.
  setsid "$mariadbd" --defaults-file="$d/my.cnf" "${opts[@]}" </dev/null >/dev/null 2>&1 &
  echo $! >"$d/pgid"
  wait_synced "$n"
}

# The node to bootstrap a stopped cluster from: the one Galera marked safe,
# else the most advanced one.
bootstrap_node() {
  local n best=1 bestseq=-2 seq
  for n in 1 2 3; do
    grep -q '^safe_to_bootstrap: *1' "$(ndir "$n")/data/grastate.dat" 2>/dev/null && {
      echo "$n"
      return
    }
  done
  for n in 1 2 3; do
    seq=$(recover "$n")
    seq=${seq##*:}
    [[ -n $seq ]] && ((seq > bestseq)) && { best=$n; bestseq=$seq; }
  done
  sed -i 's/^safe_to_bootstrap: *0/safe_to_bootstrap: 1/' "$(ndir "$best")/data/grastate.dat"
  echo "$best"
}

write_haproxy() {
  local p
  p=$(port)
  # Passes only for a node that is Synced and in the primary component: a
  # donor, a joiner or a node cut off from the others gets no connection.
  cat >"$dir/check.sh" <<'SH'
#!/bin/sh
# HAProxy external check: $3 = node address, $4 = node port.
out=$(mariadb --no-defaults -h "$3" -P "$4" -uvelmar_check --connect-timeout=1 -N -B -e \
  "SHOW GLOBAL STATUS WHERE Variable_name IN ('wsrep_local_state','wsrep_cluster_status')" \
  2>/dev/null) || exit 1
echo "$out" | grep -q '^wsrep_local_state[[:space:]]*4$' || exit 1
echo "$out" | grep -q '^wsrep_cluster_status[[:space:]]*Primary$' || exit 1
exit 0
SH
  chmod 755 "$dir/check.sh"
  cat >"$dir/haproxy.cfg" <<CFG
global
  external-check
  insecure-fork-wanted
  maxconn 1000

defaults
  mode tcp
  timeout connect 2s
  timeout client 8h
  timeout server 8h
  timeout check 2s
  retries 2

listen velmar
  bind 127.0.0.1:$p
  balance first
  option external-check
  external-check path "/usr/bin:/bin"
  external-check command $dir/check.sh
  default-server inter 1s fall 2 rise 2 on-marked-down shutdown-sessions
  # A node coming back ends the sessions left on the backup that stood in for
  # it, so that one node alone takes writes again.
  server node1 $(addr 1):$p check on-marked-up shutdown-backup-sessions
  server node2 $(addr 2):$p check backup on-marked-up shutdown-backup-sessions
  server node3 $(addr 3):$p check backup
CFG
}

# The node HAProxy sends a new connection to.
active_node() {
  mariadb --no-defaults -h127.0.0.1 -P"$(port)" -uvelmar -pvelmar -N -B --connect-timeout=2 \
    -e 'SELECT @@wsrep_node_name' 2>/dev/null || true
}

start() {
  local p=${1:-33320} n first
  mkdir -p "$dir"
  [[ -f $dir/port ]] || echo "$p" >"$dir/port"
  [[ $run_as == mysql ]] && chown mysql:mysql "$dir"
  if [[ ! -d $(ndir 1)/data/mysql && ! -d $(ndir 2)/data/mysql && ! -d $(ndir 3)/data/mysql ]]; then
    write_config 1
    mariadb-install-db --no-defaults --user="$run_as" --datadir="$(ndir 1)/data" \
      --auth-root-authentication-method=normal --skip-test-db >"$dir/install.log" 2>&1 ||
      { cat "$dir/install.log" >&2; exit 1; }
    first=1
  elif alive 1 || alive 2 || alive 3; then
    first=
  else
    first=$(bootstrap_node)
  fi
  if [[ -n $first ]]; then
    start_node "$first" new
    client "$first" -e \
      "CREATE USER IF NOT EXISTS 'velmar'@'127.0.0.%' IDENTIFIED BY 'velmar';
       GRANT ALL ON *.* TO 'velmar'@'127.0.0.%';
       CREATE USER IF NOT EXISTS 'velmar_check'@'127.0.0.%';"
  fi
  # One joiner at a time: an rsync donor serves one SST.
  for n in 1 2 3; do start_node "$n"; done
  if ! ha_alive; then
    write_haproxy
    haproxy -f "$dir/haproxy.cfg" -D -p "$dir/haproxy.pid" >"$dir/haproxy.log" 2>&1
  fi
  for _ in $(seq 1 100); do
    [[ $(active_node) == node1 ]] && { echo "cluster: running in $dir; HAProxy on 127.0.0.1:$(port)"; return 0; }
    sleep 0.1
  done
  echo "cluster: HAProxy does not reach node1" >&2
  exit 1
}

stop_node() {
  local n=$1 pid pg
  pid=$(npid "$n")
  pg=$pid
  if [[ -n $pid ]] && kill -0 "$pid" 2>/dev/null; then
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  fi
  # SST helpers (rsync daemons) left by a killed server.
  [[ -n $pg ]] && kill -9 -- "-$pg" 2>/dev/null || true
  rm -f "$(ndir "$n")/pgid"
}

stop() {
  [[ -d $dir ]] || return 0
  local p
  p=$(hapid)
  if [[ -n $p ]]; then
    kill "$p" 2>/dev/null || true
    for _ in $(seq 1 50); do kill -0 "$p" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$p" 2>/dev/null || true
    rm -f "$dir/haproxy.pid"
  fi
  # The last node stopped is the one safe to bootstrap from next time.
  for n in 3 2 1; do stop_node "$n"; done
  echo "cluster: stopped"
}

status() {
  local n
  for n in 1 2 3; do
    if alive "$n"; then
      echo "node$n $(addr "$n") pid $(npid "$n") $(wsrep "$n" wsrep_local_state_comment) size $(wsrep "$n" wsrep_cluster_size)"
    else
      echo "node$n $(addr "$n") stopped"
    fi
  done
  if ha_alive; then
    echo "haproxy 127.0.0.1:$(port) pid $(hapid) -> $(active_node)"
  else
    echo "haproxy stopped"
  fi
}

kill_node() {
  local n=${1:?node missing} pid
  pid=$(npid "$n")
  [[ -n $pid ]] && kill -9 "$pid" 2>/dev/null || true
  for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
}

odbc() {
  local database=${1:?database missing} driver
  driver=$(find /usr/lib -name libmaodbc.so -print -quit)
  [[ -n $driver ]] || { echo "cluster: MariaDB Connector/ODBC is not installed" >&2; exit 1; }
  mkdir -p "$dir/odbc"
  cat >"$dir/odbc/odbcinst.ini" <<INI
[MariaDB Unicode]
Description=MariaDB Connector/ODBC (Unicode)
Driver=$driver
Threading=0
INI
  cat >"$dir/odbc/odbc.ini" <<INI
[mytnflower]
Description=Velmar farm database (Galera cluster through HAProxy)
Driver=MariaDB Unicode
SERVER=127.0.0.1
PORT=$(port)
DATABASE=$database
USER=velmar
PASSWORD=velmar
CHARSET=utf8mb4
INI
  echo "export ODBCSYSINI=$dir/odbc ODBCINI=$dir/odbc/odbc.ini"
}

case $cmd in
  start) start "${1:-}" ;;
  stop) stop ;;
  status) status ;;
  kill) kill_node "${1:-}" ;;
  rejoin) start_node "${1:?node missing}" ;;
  odbc) odbc "${1:-}" ;;
  sql) client "${1:?node missing}" "${@:2}" ;;
  *) echo "usage: cluster.sh start|stop|status|kill|rejoin|odbc|sql DIR ..." >&2; exit 2 ;;
esac
