# Waiting for what a program shows: wait_until SECONDS COMMAND... runs the
# command until it succeeds, for at most that many seconds, and is false when
# it never did. The end-to-end checks wait so, never for a fixed time that a
# faster or slower machine changes.
wait_until() {
    local deadline=$(($(date +%s%N) + $1 * 1000000000))
    shift
    until "$@"; do
        [ "$(date +%s%N)" -lt "$deadline" ] || return 1
        sleep 0.05
    done
}
