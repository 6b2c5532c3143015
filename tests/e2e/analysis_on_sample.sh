#!/usr/bin/env bash
# The real executable on the sample database, driven with real input: it
# starts without a message box, the drop-down holds the sample's tenants, and
# picking one fills the figures.
set -euo pipefail
source "$(dirname "$0")/lib/xserver.sh"

start_xserver
"$sample" "$work/property.mdb" >/dev/null
start_tool_on "$work/property.mdb"
[ "$(windows_named | wc -l)" -eq 1 ] || { echo "a message box appeared at start" >&2; exit 1; }

# Label2 (the tenant's name) and Label6 (rent income) are empty before a pick.
name_before=$(ink_twips 4440 960 3015 255)
rent_before=$(ink_twips 2760 2880 1215 255)
[ "$name_before" -eq 0 ] && [ "$rent_before" -eq 0 ] || { echo "figures shown before a pick" >&2; exit 1; }

# Open the drop-down and pick its third entry with the keyboard.
pick_third_tenant

name_after=$(ink_twips 4440 960 3015 255)
rent_after=$(ink_twips 2760 2880 1215 255)
echo "ink of the name: $name_after, of the rent income: $rent_after"
[ "$name_after" -gt 20 ] || { echo "no tenant name after the pick" >&2; exit 1; }
[ "$rent_after" -gt 5 ] || { echo "no rent income after the pick" >&2; exit 1; }
[ "$(windows_named | wc -l)" -eq 1 ] || { echo "a message box appeared on the pick" >&2; exit 1; }

exit_tool
echo "analysis_on_sample: ok"
