#!/usr/bin/env bash
# Runs a command beside a throw-away PostgreSQL cluster on a free loopback port, so the plant
# tests can reach a real server through psqlODBC. The cluster lives in a temporary folder
# and is stopped and removed when the command ends, however it ends.
#
# Exported for the command:
#   Q7RK_PLANT_POSTGRES  connection text for `q7rk-plantdb init --postgres`
#                        (host=127.0.0.1 port=N dbname=plant; the login is sa, trusted)
#   Q7RK_PLANT_PGCTL     a script taking "stop" or "start", for tests that take the
#                        server away in the middle of their work
#   ODBCSYSINI           a copy of the installed ODBC driver list with tracing off
set -euo pipefail

if [ $# -eq 0 ]; then
  echo "usage: scripts/with-postgres.sh COMMAND [ARGS...]" >&2
  exit 64
fi

PGBIN="$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)"
if [ -z "$PGBIN" ] || [ ! -x "$PGBIN/initdb" ]; then
  echo "== with-postgres: PostgreSQL server programs not found (package postgresql)" >&2
  exit 69
fi

WORK="$(mktemp -d "${TMPDIR:-/tmp}/q7rk-pg.XXXXXX")"
chmod 755 "$WORK"
# The server refuses to run as root: root hands the cluster to the postgres user.
AS=()
if [ "$(id -u)" -eq 0 ]; then
  chown postgres: "$WORK"
  AS=(runuser -u postgres --)
fi

free_port() {
  local p
  for _ in $(seq 1 50); do
    p=$((20000 + RANDOM % 40000))
    # Nobody answering on the port: take it.
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null; then
      echo "$p"
      return 0
    fi
  done
  return 1
}

PORT="$(free_port)"
cat > "$WORK/pgctl" <<CTL
#!/usr/bin/env bash
# stop | start the throw-away cluster
set -euo pipefail
case "\${1:-}" in
  stop) exec ${AS[*]} "$PGBIN/pg_ctl" -D "$WORK/data" -m fast -w stop >/dev/null ;;
  start) exec ${AS[*]} "$PGBIN/pg_ctl" -D "$WORK/data" -w -l "$WORK/log" \
      -o "-p $PORT -k $WORK -c listen_addresses=127.0.0.1 -c fsync=off" start >/dev/null ;;
  *) echo "usage: pgctl stop|start" >&2; exit 64 ;;
esac
CTL
chmod 755 "$WORK/pgctl"

cleanup() {
  "${AS[@]}" "$PGBIN/pg_ctl" -D "$WORK/data" -m immediate -w stop >/dev/null 2>&1 || true
  rm -rf "$WORK"
}
trap cleanup EXIT

"${AS[@]}" "$PGBIN/initdb" -D "$WORK/data" -A trust -U postgres --no-sync >/dev/null
"$WORK/pgctl" start

# The drivers as installed, but without the PostgreSQL driver's own trace files in /tmp.
SYSINI="${ODBCSYSINI:-/etc}"
mkdir -p "$WORK/odbc"
if [ -f "$SYSINI/odbcinst.ini" ]; then
  sed 's/^\(CommLog\|Debug\)=.*/\1=0/' "$SYSINI/odbcinst.ini" > "$WORK/odbc/odbcinst.ini"
fi
[ -f "$SYSINI/odbc.ini" ] && cp "$SYSINI/odbc.ini" "$WORK/odbc/odbc.ini"
export ODBCSYSINI="$WORK/odbc"
"${AS[@]}" "$PGBIN/psql" -q -h 127.0.0.1 -p "$PORT" -U postgres -d postgres \
  -c "create role sa login superuser" -c "create database plant owner sa" >/dev/null

export Q7RK_PLANT_POSTGRES="host=127.0.0.1 port=$PORT dbname=plant"
export Q7RK_PLANT_PGCTL="$WORK/pgctl"
echo "== PostgreSQL on 127.0.0.1:$PORT for: $*"
"$@"
