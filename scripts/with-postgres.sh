#!/usr/bin/env bash
# Runs a command beside a throw-away PostgreSQL cluster on a free loopback port, so the plant
# tests can reach a real server through psqlODBC. The cluster lives in a temporary folder
# and is stopped and removed when the command ends, however it ends.
#
# Exported for the command:
#   Q7RK_PLANT_POSTGRES  connection text for `q7rk-plantdb init --postgres`
#                        (host=127.0.0.1 port=N dbname=plant; the login is sa, trusted;
#                        roles in q7rk_password_login must give their password)
#   Q7RK_PLANT_PGCTL     a script taking "stop" or "start", for tests that take the
#                        server away in the middle of their work
#   ODBCSYSINI           a copy of the installed ODBC driver list with tracing off
#   Q7RK_PLANT_LOCALE    the Chinese locale the server answers in (zh_CN.UTF-8), for clients
#                        that want libpq's own texts in Chinese too
#   Q7RK_PLANT_LOCPATH   set when that locale is not installed and was made here: the LOCPATH
#                        a client that wants it needs (not set for the whole command, whose
#                        programs keep the machine's locales)
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

# The server answers in Chinese, as a plant's server may: the tests then show that failures
# are told apart by their codes, not their words. The locale is made here when the machine
# has not installed it (package locales: localedef and the locale sources).
LOCALE=zh_CN.UTF-8
PLANT_LOCPATH=""
if ! locale -a 2>/dev/null | grep -qix 'zh_CN\.utf-\?8'; then
  mkdir -p "$WORK/locale"
  localedef -i zh_CN -f UTF-8 "$WORK/locale/$LOCALE" >/dev/null
  chmod -R a+rX "$WORK/locale"
  PLANT_LOCPATH="$WORK/locale"
fi
cat > "$WORK/pgctl" <<CTL
#!/usr/bin/env bash
# stop | start the throw-away cluster
set -euo pipefail
${PLANT_LOCPATH:+export LOCPATH="$PLANT_LOCPATH"}
case "\${1:-}" in
  stop) exec ${AS[*]} "$PGBIN/pg_ctl" -D "$WORK/data" -m fast -w stop >/dev/null ;;
  start) exec ${AS[*]} "$PGBIN/pg_ctl" -D "$WORK/data" -w -l "$WORK/log" \
      -o "-p $PORT -k $WORK -c listen_addresses=127.0.0.1 -c fsync=off -c lc_messages=$LOCALE" start >/dev/null ;;
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
# Members of q7rk_password_login log in with their password; everyone else is trusted.
sed -i '/^# TYPE/a host all +q7rk_password_login 127.0.0.1/32 scram-sha-256' "$WORK/data/pg_hba.conf"
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
  -c "create role sa login superuser" -c "create database plant owner sa" \
  -c "create role q7rk_password_login nologin" >/dev/null

export Q7RK_PLANT_POSTGRES="host=127.0.0.1 port=$PORT dbname=plant"
export Q7RK_PLANT_PGCTL="$WORK/pgctl"
export Q7RK_PLANT_LOCALE="$LOCALE"
if [ -n "$PLANT_LOCPATH" ]; then export Q7RK_PLANT_LOCPATH="$PLANT_LOCPATH"; fi
echo "== PostgreSQL on 127.0.0.1:$PORT for: $*"
"$@"
