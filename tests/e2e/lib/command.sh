# Helpers for the checks of the command line (no display): the counted
# checks, a registry file that points the tool at a database, and a run of the
# tool that keeps its status and output. Sourced after work (the test's
# folder) and app (the tool's copy) are set.

passed=0
failed=0
check() { # what expected actual
    if [ "$2" == "$3" ]; then
        passed=$((passed + 1))
    else
        echo "FAIL: $1: expected [$2], got [$3]" >&2
        failed=$((failed + 1))
    fi
}

point_registry_at() {
    printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
        '[HKEY_LOCAL_MACHINE\SOFTWARE\Habitorium\Settings]' '"Networkable"=dword:00000001' \
        "\"DatabaseLocation\"=\"$1\"" "\"APPPath\"=\"$work/missing\"" >"$work/registry.reg"
    export HABITORIUM_REGISTRY="$work/registry.reg"
}

# Runs the tool with the arguments given; sets status, out and err.
run() {
    status=0
    "$app" "$@" >"$work/stdout" 2>"$work/stderr" || status=$?
    out=$(cat "$work/stdout")
    err=$(cat "$work/stderr")
}
