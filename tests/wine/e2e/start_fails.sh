#!/usr/bin/env bash
# The Windows executable under Wine with a database that is not there: the
# same boxes in the same order as the Linux build shows, the failed open in
# the error log beside the executable, and exit status 1. The settings are
# where a 32-bit host application keeps them, in the 32-bit registry view,
# and other settings in the 64-bit view are not read.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

dir=$work/e2e-start-fails
mkdir -p "$dir/bin"
# The program's own folder holds no database.
cp "$app" "$dir/bin/"
missing='C:\nowhere\property.mdb'
settings "$missing" /reg:32
wine_reg add "$settings_key" /v DatabaseLocation /t REG_SZ /d 'C:\64-bit view\property.mdb' /reg:64 /f

"$wine" "$dir/bin/$(basename "$app")" >"$work/app.log" 2>&1 &
app_pid=$!
# Each box in turn, its trailing line ends cut off, until the tool has ended.
boxes=()
while ! tool_ended; do
    text=$("$wine" "$box" 1) || continue
    while [[ "$text" == *$'\r' || "$text" == *$'\n' ]]; do text=${text%?}; done
    text=${text//$'\r'/} # line ends as the box shows them: Wine's box keeps LF alone
    boxes+=("$text")
done
status=0
wait_for_exit || status=$?
app_pid=""
"$wine" reg delete "$settings_key" /reg:32 /f >/dev/null 2>&1 || true

printf 'box: %s\n' "${boxes[@]}"
# The texts the Linux build shows for the same start (its window tests hold
# them), with Windows' separator.
expected=(
    $'Unable to access \r\n'"$missing"$'\r\nReverting back to \r\n\\property.mdb'
    "Unable to open Habitorium database - file not found"
    $'Start ADO\r\nGeneral Errors...\r\n\r\n3024 - Could not find file \'\\property.mdb\'.'
    "Unable to start habitorium database."
)
[ "${#boxes[@]}" -eq "${#expected[@]}" ] ||
    { echo "expected ${#expected[@]} boxes, saw ${#boxes[@]}" >&2; exit 1; }
for i in "${!expected[@]}"; do
    [ "${boxes[$i]}" = "${expected[$i]//$'\r'/}" ] || { echo "box $((i + 1)) differs: ${boxes[$i]}" >&2; exit 1; }
done
[ "$status" -eq 1 ] || { echo "a failed start must exit with status 1, not $status" >&2; exit 1; }
logs=("$dir/bin/"err*.log)
[ -f "${logs[0]}" ] || { echo "no error log beside the executable" >&2; exit 1; }
grep -q "3024 - Could not find file" "${logs[0]}" || { echo "the failed open is not in the error log" >&2; exit 1; }
echo "wine start_fails: ok (${#boxes[@]} boxes, exit status 1, $(basename "${logs[0]}") beside the executable)"
