#!/usr/bin/env bash
# A throwaway PostgreSQL 15 server for the tests, on 127.0.0.1 with password authentication
# (scram-sha-256), the password kept in a libpq password file as on a workstation.
#   pg-test-server.sh start      prints the libpq connection string on stdout (logs go to stderr)
#   pg-test-server.sh passfile   prints the password file's path (for PGPASSFILE)
#   pg-test-server.sh stop       stops the server and removes its folder
# ORVANTA_PG_ROOT chooses the folder (default: one per OS user under the temp folder).
set -euo pipefail

bin=/usr/lib/postgresql/15/bin
root=${ORVANTA_PG_ROOT:-${TMPDIR:-/tmp}/orvanta-pg-test-$(id -u)}
data=$root/data
first_port=${ORVANTA_PG_PORT:-55432}

# initdb refuses to run as root, so root hands the server to an unprivileged account.
server_user=$(id -un)
if ((EUID == 0)); then
    server_user=postgres
    if ! getent passwd "$server_user" >/dev/null; then
        server_user=orvanta-pg
        getent passwd "$server_user" >/dev/null \
            || useradd --system --no-create-home --shell /usr/sbin/nologin "$server_user"
    fi
fi

as_server_user() {
    if ((EUID == 0)); then
        runuser -u "$server_user" -- "$@"
    else
        "$@"
    fi
}

port_in_use() {
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

stop_server() {
    if [[ -f $data/postmaster.pid ]]; then
        as_server_user "$bin/pg_ctl" -D "$data" -m fast -w stop >&2 || true
    fi
    rm -rf "$root"
}

start_server() {
    [[ -x $bin/initdb ]] || { echo "pg-test-server: PostgreSQL 15 is not installed ($bin)" >&2; exit 1; }
    stop_server # a left-over server from an interrupted run is not reused

    local port=$first_port
    while port_in_use "$port"; do
        port=$((port + 1))
        ((port < first_port + 100)) || { echo "pg-test-server: no free port from $first_port" >&2; exit 1; }
    done

    mkdir -p "$root"
    chmod 700 "$root"
    if ((EUID == 0)); then
        chown "$server_user": "$root"
    fi

    # The bootstrap superuser is sa, so the role the program's server strings use exists at once.
    # Connections over TCP must give its password; the server's own socket stays open for pg_ctl.
    local password
    password=$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')
    (umask 077 && printf '%s\n' "$password" >"$root/pwfile")
    if ((EUID == 0)); then
        chown "$server_user": "$root/pwfile"
    fi
    as_server_user "$bin/initdb" -D "$data" -U sa --pwfile="$root/pwfile" --auth-local=trust \
        --auth-host=scram-sha-256 -E UTF8 --locale=C.UTF-8 >"$root/initdb.log" \
        || { cat "$root/initdb.log" >&2; exit 1; }
    rm -f "$root/pwfile"
    mkdir -p "$root/socket"
    if ((EUID == 0)); then
        chown "$server_user": "$root/socket"
    fi
    cat >>"$data/postgresql.conf" <<CONF
listen_addresses = '127.0.0.1'
port = $port
unix_socket_directories = '$root/socket'
fsync = off
synchronous_commit = off
full_page_writes = off
CONF
    as_server_user "$bin/pg_ctl" -D "$data" -l "$root/server.log" -w -t 60 start >&2 \
        || { cat "$root/server.log" >&2; exit 1; }

    # One password for every role of this server, found the usual libpq way.
    (umask 077 && printf '127.0.0.1:%s:*:*:%s\nlocalhost:%s:*:*:%s\n' \
        "$port" "$password" "$port" "$password" >"$root/pgpass")
    export PGPASSFILE=$root/pgpass
    local psql=("$bin/psql" -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p "$port" -U sa -d postgres)
    local os_user
    os_user=$(id -un)
    # The schema's owner, the workstations' role and the verification service's, as an office sets
    # them up; the tests' desks log in as the workstation role, and so does the OS user through
    # integrated security.
    "${psql[@]}" -c "CREATE ROLE orvanta_owner LOGIN PASSWORD '$password'" \
        -c "CREATE ROLE orvanta_desk LOGIN PASSWORD '$password'" \
        -c "CREATE ROLE orvanta_verify LOGIN PASSWORD '$password'" >&2
    if [[ $os_user != sa ]]; then
        "${psql[@]}" -c "CREATE ROLE \"${os_user//\"/\"\"}\" LOGIN PASSWORD '$password' IN ROLE orvanta_desk" >&2
    fi
    "${psql[@]}" -c 'CREATE DATABASE "MoLian" OWNER sa' >&2

    echo "host=127.0.0.1 port=$port user=sa dbname=MoLian" | tee "$root/conninfo"
}

case "${1:-}" in
start) start_server ;;
passfile) echo "$root/pgpass" ;;
stop) stop_server ;;
*)
    echo "usage: $0 start|stop" >&2
    exit 2
    ;;
esac
