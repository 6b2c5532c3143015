# A PostgreSQL server of the script's own, for the checks and benchmarks that
# reach the property database through ODBC: initdb and pg_ctl as the postgres
# user (PostgreSQL refuses root) in a temporary folder, on a private port on
# 127.0.0.1, stopped when the script ends. The ODBC drivers are registered in
# an odbcinst.ini of its own, named by ODBCSYSINI.
#
#   start_postgres FOLDER   starts the server; sets pg_odbc to the ODBC
#                           connection string of its database "habitorium"
#   stop_postgres           stops it (also done on exit by the caller's trap)

pg_folder=""
pg_ctl=""
pg_as=()

postgres_bin() {
    local version
    for version in 15 16 17 14 13; do
        if [ -x "/usr/lib/postgresql/$version/bin/initdb" ]; then
            echo "/usr/lib/postgresql/$version/bin"
            return
        fi
    done
    echo "PostgreSQL is not installed (Debian packages postgresql, postgresql-contrib; see build.sh)" >&2
    return 1
}

odbc_driver() {
    local folder
    for folder in /usr/lib/x86_64-linux-gnu/odbc /usr/lib/aarch64-linux-gnu/odbc /usr/lib/odbc /usr/lib64; do
        [ -e "$folder/$1" ] && { echo "$folder/$1"; return; }
    done
    echo "the ODBC driver $1 is not installed (Debian package $2; see build.sh)" >&2
    return 1
}

start_postgres() {
    local bin port
    bin=$(postgres_bin)
    pg_folder=$1/postgres
    mkdir -p "$pg_folder"
    cat >"$1/odbcinst.ini" <<INI
[Habitorium PostgreSQL]
Driver=$(odbc_driver psqlodbcw.so odbc-postgresql)

[Habitorium SQLite3]
Driver=$(odbc_driver libsqlite3odbc.so libsqliteodbc)
INI
    : >"$1/odbc.ini"
    export ODBCSYSINI=$1 ODBCINI=$1/odbc.ini
    if [ "$(id -u)" -eq 0 ]; then
        chown postgres "$pg_folder"
        chmod o+x "$1"
        pg_as=(runuser -u postgres --)
    fi
    "${pg_as[@]}" "$bin/initdb" -D "$pg_folder/data" -A trust -U postgres -E UTF8 --no-sync >"$1/initdb.log" 2>&1 ||
        { cat "$1/initdb.log" >&2; return 1; }
    pg_ctl="$bin/pg_ctl"
    for attempt in 1 2 3 4 5 6 7 8; do
        port=$((20000 + ($$ * 7 + attempt * 131) % 30000))
        if "${pg_as[@]}" "$pg_ctl" -D "$pg_folder/data" -l "$pg_folder/server.log" -w -t 60 \
            -o "-p $port -k $pg_folder -c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off" \
            start >/dev/null 2>&1; then
            pg_odbc="Driver={Habitorium PostgreSQL};Server=127.0.0.1;Port=$port;Database=habitorium;Uid=postgres;Pwd=;"
            "${pg_as[@]}" "$bin/createdb" -h "$pg_folder" -p "$port" -U postgres habitorium
            return 0
        fi
    done
    echo "the PostgreSQL server did not start:" >&2
    cat "$pg_folder/server.log" >&2
    return 1
}

stop_postgres() {
    if [ -n "$pg_ctl" ]; then
        "${pg_as[@]}" "$pg_ctl" -D "$pg_folder/data" -m immediate -w stop >/dev/null 2>&1 || true
        pg_ctl=""
    fi
}
