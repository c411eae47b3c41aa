#!/usr/bin/env bash
# Starts and stops a throwaway PostgreSQL server in a directory of its own, for tests and
# benchmarks: it listens on 127.0.0.1 only (and on a unix socket inside the directory), on a free
# port, and knows one login role with a password. Run with --help for the details.
set -euo pipefail

readonly kRole=cubemill
readonly kDatabase=cubemill
readonly kSuperuser=postgres
readonly kMarker=pg-cluster.marker
script=$(readlink -f "$0")
readonly script

usage() {
  cat <<'EOF'
Usage: pg-cluster.sh start DIR [--watch PID]
       pg-cluster.sh stop DIR
       pg-cluster.sh psql DIR [PSQL-ARGUMENT...]

start  makes a new PostgreSQL cluster in DIR (which must not exist, or be empty) and starts its
       server: listening on 127.0.0.1 only, on a free TCP port, with its unix socket in DIR.
       It creates the login role "cubemill" (password authentication, SCRAM) and its database
       "cubemill", and returns once the server accepts connections. It leaves
         DIR/port       the TCP port
         DIR/password   the password of the role "cubemill" (readable by its owner only)
         DIR/server.log the server's log
       --watch PID: a watcher in the background stops the cluster and removes DIR as soon as
       process PID has ended, so a caller that is killed does not leave a server running.
stop   stops the server of DIR (fast shutdown; killed if that fails) and removes DIR. A DIR
       that is gone already is fine; a DIR that start did not make is left alone.
psql   runs psql as the superuser "postgres" through the socket in DIR, on the database
       "cubemill" unless the arguments name another (-d NAME).

Run as root, the server runs as the system user "postgres" (the server refuses to run as root),
which then owns DIR; DIR's parent must be open to that user. The server programs are found
through `pg_config --bindir`, or in /usr/lib/postgresql/15/bin.
EOF
}

die() {
  echo "pg-cluster.sh: $*" >&2
  exit 1
}

# Set once start has started a server: a start that fails after that stops it again (DIR and its
# logs stay for a look; stop removes them).
started_data=
on_exit() {
  local status=$?
  if [ "$status" -ne 0 ] && [ -n "$started_data" ]; then
    as_server "$(server_bindir)/pg_ctl" -D "$started_data" -m immediate -w stop >/dev/null 2>&1 ||
      true
  fi
}
trap on_exit EXIT

# The directory of initdb, pg_ctl and postgres.
server_bindir() {
  local dir
  if command -v pg_config >/dev/null 2>&1; then
    dir=$(pg_config --bindir 2>/dev/null || true)
    if [ -n "$dir" ] && [ -x "$dir/initdb" ] && [ -x "$dir/pg_ctl" ]; then
      echo "$dir"
      return
    fi
  fi
  dir=/usr/lib/postgresql/15/bin
  if [ ! -x "$dir/initdb" ] || [ ! -x "$dir/pg_ctl" ]; then
    die "no PostgreSQL server programs (initdb, pg_ctl): install postgresql-15 (scripts/install-deps.sh)"
  fi
  echo "$dir"
}

# Runs a command as the user the server runs as: "postgres" when we are root, ourselves otherwise.
as_server() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

# True when something accepts TCP connections on 127.0.0.1:$1.
port_in_use() {
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

# A random port in 20000-59999 that nothing listens on now.
free_port() {
  local port
  for _ in $(seq 1 100); do
    port=$((20000 + (RANDOM * 32768 + RANDOM) % 40000))
    if ! port_in_use "$port"; then
      echo "$port"
      return
    fi
  done
  die "no free TCP port found on 127.0.0.1"
}

# psql as the superuser over the socket of the cluster in $1.
superuser_psql() {
  local dir=$1
  shift
  "$(server_bindir)/psql" -X -q -v ON_ERROR_STOP=1 -h "$dir" -p "$(cat "$dir/port")" \
    -U "$kSuperuser" "$@"
}

start() {
  local dir=$1 watch_pid=$2
  [ -n "$dir" ] || die "start: no directory given"
  if [ -e "$dir" ]; then
    [ -d "$dir" ] || die "start: $dir exists and is not a directory"
    [ -z "$(ls -A "$dir")" ] || die "start: $dir is not empty"
  else
    mkdir -p "$dir"
  fi
  dir=$(cd "$dir" && pwd -P)
  # A unix socket path holds at most 107 bytes: DIR plus "/.s.PGSQL.NNNNN".
  [ "${#dir}" -le 90 ] || die "start: $dir is too long for a unix socket path (90 characters at most)"
  : >"$dir/$kMarker"
  chmod 700 "$dir"
  if [ "$(id -u)" -eq 0 ]; then
    chown postgres: "$dir" "$dir/$kMarker"
    runuser -u postgres -- test -x "$dir" ||
      die "start: the user postgres cannot enter $dir: open its parent directories to it"
  fi

  local bindir
  bindir=$(server_bindir)
  local password
  password=$(head -c 24 /dev/urandom | base64 | tr -d '/+=')
  (umask 077 && printf '%s\n' "$password" >"$dir/password")

  # Data checksums off, no sync: the cluster is thrown away, a crash loses nothing of value.
  as_server "$bindir/initdb" -D "$dir/data" -U "$kSuperuser" --auth-local=trust \
    --auth-host=scram-sha-256 --encoding=UTF8 --locale=C --no-sync >"$dir/initdb.log" 2>&1 ||
    die "start: initdb failed, see $dir/initdb.log"
  # The socket's directory is open to its owner (and root) alone, so "trust" on the socket admits
  # nobody else; TCP asks for a password.
  as_server tee "$dir/data/pg_hba.conf" >/dev/null <<EOF
local all all trust
host all all 127.0.0.1/32 scram-sha-256
EOF
  as_server tee -a "$dir/data/postgresql.conf" >/dev/null <<EOF

# pg-cluster.sh: a throwaway server for tests
listen_addresses = '127.0.0.1'
unix_socket_directories = '$dir'
unix_socket_permissions = 0700
password_encryption = 'scram-sha-256'
fsync = off
synchronous_commit = off
full_page_writes = off
shared_buffers = 64MB
max_connections = 40
log_min_messages = warning
EOF

  # The port is free when looked at; another program may take it before the server binds it, so
  # a start that cannot bind tries another port.
  local port started=no
  for _ in 1 2 3 4 5; do
    port=$(free_port)
    if as_server "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -o "-p $port" -w -t 60 \
      start >/dev/null 2>&1; then
      started=yes
      started_data=$dir/data
      break
    fi
    grep -q 'could not bind\|could not create any TCP/IP sockets' "$dir/server.log" 2>/dev/null ||
      die "start: the server did not start, see $dir/server.log"
  done
  [ "$started" = yes ] || die "start: the server found no free port, see $dir/server.log"
  printf '%s\n' "$port" >"$dir/port"

  if [ -n "$watch_pid" ]; then
    # Detached from the caller's session and output, so that neither a killed caller's process
    # group nor a pipe the caller reads keeps it or waits for it.
    setsid "$script" _watch "$dir" "$watch_pid" </dev/null >/dev/null 2>&1 &
  fi

  # The password goes to psql on standard input, never on a command line.
  superuser_psql "$dir" -d postgres >/dev/null <<EOF
CREATE ROLE $kRole LOGIN PASSWORD '$password';
CREATE DATABASE $kDatabase OWNER $kRole;
EOF
  superuser_psql "$dir" -d "$kDatabase" -c "ALTER SCHEMA public OWNER TO $kRole" >/dev/null
  "$bindir/pg_isready" -q -h 127.0.0.1 -p "$port" -d "$kDatabase" -t 30 ||
    die "start: the server does not accept connections on 127.0.0.1:$port"
  started_data=
  echo "pg-cluster.sh: PostgreSQL $("$bindir/postgres" -V | awk '{print $3}') in $dir on 127.0.0.1:$port, role $kRole, database $kDatabase"
}

stop() {
  local dir=$1
  [ -n "$dir" ] || die "stop: no directory given"
  [ -e "$dir" ] || return 0
  [ -e "$dir/$kMarker" ] || die "stop: $dir was not made by pg-cluster.sh start; left alone"
  if [ -f "$dir/data/postmaster.pid" ]; then
    local bindir
    bindir=$(server_bindir)
    if ! as_server "$bindir/pg_ctl" -D "$dir/data" -m fast -w -t 30 stop >/dev/null 2>&1; then
      local pid
      pid=$(head -n 1 "$dir/data/postmaster.pid" 2>/dev/null || true)
      if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
        kill -KILL "$pid" 2>/dev/null || true
        # Its children end when they notice that the postmaster is gone.
        for _ in $(seq 1 50); do
          kill -0 "$pid" 2>/dev/null || break
          sleep 0.1
        done
      fi
    fi
  fi
  rm -rf "$dir"
}

# Stops the cluster in $1 once process $2 has ended (started by start --watch).
watch() {
  local dir=$1 pid=$2
  while [ -e "$dir/$kMarker" ] && kill -0 "$pid" 2>/dev/null; do
    sleep 1
  done
  [ -e "$dir/$kMarker" ] && stop "$dir"
  return 0
}

command=${1:-}
case "$command" in
  -h | --help)
    usage
    ;;
  start)
    [ $# -eq 2 ] || { [ $# -eq 4 ] && [ "$3" = --watch ]; } || {
      usage >&2
      exit 2
    }
    if [ $# -eq 4 ]; then
      [[ "$4" =~ ^[0-9]+$ ]] || die "start: --watch needs a process id, not \"$4\""
    fi
    start "$2" "${4:-}"
    ;;
  stop)
    [ $# -eq 2 ] || {
      usage >&2
      exit 2
    }
    stop "$2"
    ;;
  psql)
    [ $# -ge 2 ] || {
      usage >&2
      exit 2
    }
    dir=$2
    shift 2
    [ -f "$dir/port" ] || die "psql: no running cluster in $dir"
    dir=$(cd "$dir" && pwd -P)  # psql takes a host without "/" for a host name
    superuser_psql "$dir" -d "$kDatabase" "$@"
    ;;
  _watch)
    watch "$2" "$3"
    ;;
  *)
    usage >&2
    exit 2
    ;;
esac
