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
#                                 (rc 0 all running, 3 something stopped)
#   cluster.sh kill DIR N         SIGKILL node N (a crash)
#   cluster.sh rejoin DIR N [from-writer]
#                                 restart node N at its recovered position (IST),
#                                 copying from a synced backup; a full copy only
#                                 the writer could give needs "from-writer"
#   cluster.sh bootstrap DIR [N]  make the running node N (else the most advanced
#                                 running one) form the cluster alone when the
#                                 others are down and it stays non-Primary
#   cluster.sh odbc DIR DATABASE  write DIR/odbc/*.ini: mytnflower -> HAProxy
#   cluster.sh sql DIR N [ARGS]   the mariadb client as root on node N's socket
# A failure says what to do; a start that fails stops what it started.
set -euo pipefail

usage="uso: cluster.sh start|stop|status|kill|rejoin|bootstrap|odbc|sql CARPETA ..."
say() { echo "cluster: $*" >&2; }
die() {
  say "$@"
  exit 1
}
[[ $# -ge 2 ]] || { echo "$usage" >&2; exit 2; }
cmd=$1
dir=$(realpath -m "$2")
shift 2

# Debian keeps the servers in /usr/sbin, outside a normal user's PATH.
tool() { command -v "$1" 2>/dev/null || { [[ -x /usr/sbin/$1 ]] && echo "/usr/sbin/$1"; } || true; }
mariadbd=$(tool mariadbd)
haproxy_bin=$(tool haproxy)
galera=/usr/lib/galera/libgalera_smm.so
# rsync SST fails as root (its daemon drops to nobody): as root the nodes run
# as mysql; as anyone else they run as that user.
run_as=$(id -un)
[[ $(id -u) -eq 0 ]] && run_as=mysql

port() { cat "$dir/port"; }
# A folder this script made: it holds the port file.
cluster_dir() {
  [[ -f $dir/port ]] ||
    die "$dir no es una carpeta de clúster (no tiene el archivo port); cree una con: cluster.sh start $dir PUERTO"
}
addr() { echo "127.0.0.1$1"; }
ndir() { echo "$dir/node$1"; }
# The server's own pid, which is also its session and process group id.
npid() { cat "$(ndir "$1")/pgid" 2>/dev/null || true; }
# A killed process nobody has reaped yet (a zombie) is not running.
running() {
  local s
  [[ -n $1 ]] && s=$(awk '/^State:/ { print $2 }' "/proc/$1/status" 2>/dev/null) &&
    [[ -n $s && $s != [ZX] ]]
}
alive() { running "$(npid "$1")"; }
client() { mariadb --no-defaults --socket="$(ndir "$1")/mysqld.sock" -uroot "${@:2}"; }
wsrep() {
  client "$1" -N -B --connect-timeout=2 -e "SHOW GLOBAL STATUS LIKE '$2'" 2>/dev/null |
    cut -f2 || true
}
hapid() { cat "$dir/haproxy.pid" 2>/dev/null || true; }
ha_alive() { running "$(hapid)"; }

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
# A full copy comes from a backup, not from the writer the stations use (its
# stations would wait while it donates); the comma lets any node serve when
# that backup is down.
wsrep-sst-donor=$( ((n == 3)) && echo node2 || echo node3),
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
  say "node$n no llegó a Synced (murió o sigue copiando datos); vea $(ndir "$n")/error.log:"
  tail -20 "$(ndir "$n")/error.log" >&2 || true
  return 1
}

# Start node N: "new" bootstraps a new cluster from it; otherwise it joins,
# from its recovered position when it has data (IST instead of a full SST).
# DONORS, when given, are the only nodes it may copy from.
start_node() {
  local n=$1 mode=${2:-join} donors=${3:-} d pos
  d=$(ndir "$n")
  alive "$n" && return 0
  pos=${4-$(recover "$n")}
  write_config "$n"
  started+=("$n")
  local opts=()
  [[ $mode == new ]] && opts+=(--wsrep-new-cluster)
  [[ -n $pos ]] && opts+=("--wsrep-start-position=$pos")
  [[ -n $donors ]] && opts+=("--wsrep-sst-donor=$donors")
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
  # Passes only for a node that is Synced, in the primary component, and in
  # the newest view any node reports: a donor, a joiner, a node cut off from
  # the others, or one that hung and still shows its old view gets no
  # connection.
  { echo '#!/bin/sh'; echo "nodes=\"$(addr 1) $(addr 2) $(addr 3)\""; } >"$dir/check.sh"
  cat >>"$dir/check.sh" <<'SH'
# HAProxy external check: $3 = node address, $4 = node port. Each node's
# view number, cluster status and state, asked of all at once (SHOW, which
# never waits for the cluster as a SELECT does under wsrep_sync_wait). The
# others get 0.7 s: a hung one must not make this check late.
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
for n in $nodes; do
  limit=0.7
  [ "$n" = "$3" ] && limit=1.5
  timeout $limit mariadb --no-defaults -h "$n" -P "$4" -uvelmar_check --connect-timeout=1 -N -B \
    -e "SHOW GLOBAL STATUS WHERE Variable_name IN
          ('wsrep_cluster_conf_id', 'wsrep_cluster_status', 'wsrep_local_state')" \
    >"$dir/$n" 2>/dev/null &
done
wait
val() { sed -n "s/^$2[[:space:]]*//p" "$dir/$1"; }
view=$(val "$3" wsrep_cluster_conf_id)
[ "$(val "$3" wsrep_local_state)" = 4 ] && [ "$(val "$3" wsrep_cluster_status)" = Primary ] ||
  exit 1
# A node resumed after a hang reports Synced and Primary from its old view
# until it learns the others went on without it: a newer primary view
# elsewhere refuses it.
for n in $nodes; do
  [ "$(val "$n" wsrep_cluster_status)" = Primary ] &&
    [ "$(val "$n" wsrep_cluster_conf_id)" -gt "$view" ] && exit 1
done
exit 0
SH
  chmod 755 "$dir/check.sh"
  cat >"$dir/haproxy.cfg" <<CFG
global
  external-check
  insecure-fork-wanted
  maxconn 1000
  stats socket $dir/haproxy.sock mode 600 level admin

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

# Whatever start needs, checked before anything runs.
preflight() {
  [[ -n $mariadbd ]] || die "no se encuentra mariadbd: instale mariadb-server (apt-get install mariadb-server)"
  [[ -f $galera ]] || die "falta $galera: instale Galera (apt-get install galera-4)"
  [[ -n $haproxy_bin ]] || die "no se encuentra haproxy (ni en el PATH ni en /usr/sbin): instale haproxy (apt-get install haproxy)"
  command -v rsync >/dev/null || die "falta rsync, con el que un nodo copia los datos de otro: apt-get install rsync"
  command -v mariadb >/dev/null || die "falta el cliente mariadb: apt-get install mariadb-client"
}

# Fails, before anything starts, when an address and port this cluster needs
# is taken by another program.
port_free() {
  if (exec 3<>"/dev/tcp/$1/$2") 2>/dev/null; then
    die "el puerto $1:$2 ($3) está ocupado por otro programa; elija otro: cluster.sh start $dir OTRO_PUERTO (usa OTRO_PUERTO a OTRO_PUERTO+3)"
  fi
}

# The kernel gives outgoing connections local ports from this range: one may
# hold a port of the cluster's when a node or HAProxy binds it.
below_ephemeral() {
  local lo=32768 hi=60999
  read -r lo hi </proc/sys/net/ipv4/ip_local_port_range 2>/dev/null || true
  (($1 + 3 < lo || $1 > hi)) ||
    die "los puertos $1 a $(($1 + 3)) caen en el rango que el sistema da a las conexiones salientes ($lo a $hi): una de ellas puede ocupar uno antes que el clúster; elija otro: cluster.sh start $dir PUERTO (PUERTO menor que $((lo - 3)))"
}

# The node HAProxy sends a new connection to.
active_node() {
  mariadb --no-defaults -h127.0.0.1 -P"$(port)" -uvelmar -pvelmar -N -B --connect-timeout=2 \
    -e 'SELECT @@wsrep_node_name' 2>/dev/null || true
}

# A start that fails stops what it started: nothing is left half up.
started=()
undo_start() {
  local rc=$? n
  trap - EXIT
  [[ $rc -eq 0 ]] && return 0
  say "el arranque falló; se detiene lo que arrancó: ${started[*]:-nada}"
  for n in "${started[@]}"; do
    if [[ $n == haproxy ]]; then stop_haproxy; else stop_node "$n"; fi
  done
  exit "$rc"
}

start() {
  local p=$1 n first any=
  preflight
  for n in 1 2 3; do alive "$n" && any=1; done
  if [[ -f $dir/port && -n $p && $p != $(port) ]]; then
    [[ -z $any ]] && ! ha_alive ||
      die "el clúster de $dir corre en el puerto $(port), no en $p; deténgalo antes (cluster.sh stop $dir) o use $(port)"
  fi
  [[ -z $p && -f $dir/port ]] && p=$(port)
  p=${p:-23320}
  [[ $p =~ ^[0-9]+$ ]] && ((p > 1023 && p < 65532)) || die "puerto no válido: $p (use uno de 1024 a 65531)"
  below_ephemeral "$p"
  ha_alive || port_free 127.0.0.1 "$p" "HAProxy"
  for n in 1 2 3; do
    alive "$n" && continue
    port_free "$(addr "$n")" "$p" "node$n, clientes"
    port_free "$(addr "$n")" $((p + 1)) "node$n, replicación"
    port_free "$(addr "$n")" $((p + 2)) "node$n, IST"
    port_free "$(addr "$n")" $((p + 3)) "node$n, SST"
  done
  mkdir -p "$dir"
  echo "$p" >"$dir/port" # every config is written again at start
  [[ $run_as == mysql ]] && chown mysql:mysql "$dir"
  trap undo_start EXIT
  if [[ ! -d $(ndir 1)/data/mysql && ! -d $(ndir 2)/data/mysql && ! -d $(ndir 3)/data/mysql ]]; then
    write_config 1
    mariadb-install-db --no-defaults --user="$run_as" --datadir="$(ndir 1)/data" \
      --auth-root-authentication-method=normal --skip-test-db >"$dir/install.log" 2>&1 ||
      { cat "$dir/install.log" >&2; die "mariadb-install-db falló (arriba su salida)"; }
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
    rm -f "$dir/haproxy.sock"
    started+=(haproxy)
    "$haproxy_bin" -f "$dir/haproxy.cfg" -D -p "$dir/haproxy.pid" >"$dir/haproxy.log" 2>&1 ||
      die "HAProxy no arrancó: $(tail -3 "$dir/haproxy.log" | tr '\n' ' ')"
  fi
  for _ in $(seq 1 100); do
    if [[ $(active_node) == node1 ]]; then
      trap - EXIT
      echo "cluster: running in $dir; HAProxy on 127.0.0.1:$(port)"
      return 0
    fi
    sleep 0.1
  done
  die "HAProxy no llega a node1 en 10 s; vea $dir/haproxy.log y cluster.sh status $dir"
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

stop_haproxy() {
  local p
  p=$(hapid)
  if [[ -n $p ]]; then
    kill "$p" 2>/dev/null || true
    for _ in $(seq 1 50); do kill -0 "$p" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$p" 2>/dev/null || true
  fi
  rm -f "$dir/haproxy.pid" "$dir/haproxy.sock"
}

stop() {
  [[ -d $dir ]] || return 0
  cluster_dir
  stop_haproxy
  # The last node stopped is the one safe to bootstrap from next time.
  for n in 3 2 1; do stop_node "$n"; done
  echo "cluster: stopped"
}

status() {
  local n rc=0
  cluster_dir
  for n in 1 2 3; do
    if alive "$n"; then
      echo "node$n $(addr "$n") pid $(npid "$n") $(wsrep "$n" wsrep_local_state_comment)" \
        "$(wsrep "$n" wsrep_cluster_status) size $(wsrep "$n" wsrep_cluster_size)"
    else
      echo "node$n $(addr "$n") stopped"
      rc=3
    fi
  done
  if ha_alive; then
    echo "haproxy 127.0.0.1:$(port) pid $(hapid) -> $(active_node)"
  else
    echo "haproxy stopped"
    rc=3
  fi
  return $rc
}

# After two nodes crashed the survivor stays non-Primary (no majority). Safe
# only when the others are really down, not running apart: two halves each
# bootstrapped would take writes separately.
bootstrap() {
  local n=${1:-} m best=-1 seq
  cluster_dir
  if [[ -z $n ]]; then
    for m in 1 2 3; do
      alive "$m" || continue
      seq=$(wsrep "$m" wsrep_last_committed)
      [[ -n $seq ]] && ((seq > best)) && { best=$seq; n=$m; }
    done
    [[ -n $n ]] || die "ningún nodo está corriendo: arranque el clúster con cluster.sh start $dir"
  fi
  alive "$n" || die "node$n no está corriendo; elija uno que corra (cluster.sh status $dir)"
  for m in 1 2 3; do
    [[ $m == "$n" ]] && continue
    [[ $(wsrep "$m" wsrep_cluster_status) == Primary ]] &&
      die "node$m está en un componente primario: no fuerce node$n, vuelva a unirlo (cluster.sh rejoin $dir $n)"
  done
  if [[ $(wsrep "$n" wsrep_cluster_status) != Primary ]]; then
    client "$n" -e "SET GLOBAL wsrep_provider_options='pc.bootstrap=YES'" ||
      die "node$n no aceptó pc.bootstrap; vea $(ndir "$n")/error.log"
  fi
  wait_synced "$n"
  [[ $(wsrep "$n" wsrep_cluster_status) == Primary ]] || die "node$n sigue sin componente primario"
  echo "cluster: node$n forma el clúster; vuelva a unir los otros con cluster.sh rejoin $dir N"
}

# Node N joins again. It copies from a synced backup, never from the node the
# stations use while a backup can give the copy: a node donating a full copy
# (SST) by rsync takes no writes. When only that writer could give a full
# copy, it refuses unless told "from-writer".
rejoin() {
  local n=$1 force=$2 m writer donors= pos uuid=
  alive "$n" && return 0
  [[ -z $force || $force == from-writer ]] || die "uso: cluster.sh rejoin $dir N [from-writer]"
  writer=$(active_node)
  for m in 1 2 3; do
    [[ $m != "$n" ]] && alive "$m" && [[ $(wsrep "$m" wsrep_local_state) == 4 ]] || continue
    uuid=$(wsrep "$m" wsrep_local_state_uuid)
    [[ node$m == "$writer" ]] || donors+=${donors:+,}node$m
  done
  pos=$(recover "$n")
  # No position, or one of another history: only a full copy will do.
  if [[ -z $donors && -z $force && -n $uuid && ( -z $pos || ${pos%:*} != "$uuid" ||
        ${pos##*:} == -1 ) ]]; then
    die "node$n necesita una copia completa de los datos (SST) y sólo $writer, el nodo que usan las estaciones, puede darla: mientras la da no recibe escrituras y las estaciones esperan (aquí, con 142 MB de datos, 3 s; más con más datos). Una primero un nodo que sólo copie lo que le falta (cluster.sh rejoin $dir N) o, si acepta la pausa, cluster.sh rejoin $dir $n from-writer"
  fi
  trap undo_start EXIT
  start_node "$n" join "$donors" "$pos"
  trap - EXIT
}

kill_node() {
  local n=${1:?falta el número de nodo} pid
  pid=$(npid "$n")
  [[ -n $pid ]] && kill -9 "$pid" 2>/dev/null || true
  for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
}

# The same data source as a single server's (db.sh), pointed at HAProxy.
odbc() {
  local database=${1:?database missing}
  "$(dirname "$0")/db.sh" odbc "$dir" "$(port)" "$database"
}

node_arg() {
  [[ ${1:-} =~ ^[123]$ ]] || die "falta el número de nodo (1, 2 o 3)"
}

case $cmd in
  start) start "${1:-}" ;;
  stop) stop ;;
  status) status ;;
  kill) cluster_dir; node_arg "${1:-}"; kill_node "$1" ;;
  rejoin) cluster_dir; node_arg "${1:-}"; preflight; rejoin "$1" "${2:-}" ;;
  bootstrap) bootstrap "${1:-}" ;;
  odbc) cluster_dir; odbc "${1:-}" ;;
  sql) cluster_dir; node_arg "${1:-}"; client "$1" "${@:2}" ;;
  *) echo "$usage" >&2; exit 2 ;;
esac
