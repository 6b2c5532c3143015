#!/usr/bin/env bash
# The installer under Wine's msiexec, silently, as IT runs it: installed into
# Program Files with its Start menu shortcut and uninstall entry; the
# installed program runs "Fix All" on the sample through ODBC with the result
# the rules give (as the copied program does); the same package again,
# another build of the same version and an older version are refused, a
# newer one replaces it; the uninstall removes the folder, the shortcut and
# the entry, and leaves the user's journal. With the host's APPPath set, the tool goes into "Rent
# Analysis" inside the host's folder and finds the host's property.mdb in the
# folder above its own: APPPath of the 32-bit registry view (a 32-bit host's),
# else of the 64-bit one; INSTALLDIR= on the command line wins. The 32-bit
# build's installer replaces the 64-bit build and is replaced by it, never
# installed beside it (its program cannot start here: only files, entries
# and folders are checked).
set -euo pipefail
source "$(dirname "$0")/lib.sh"

msi=${HABITORIUM_WINE_MSI:?}
msi_next=${HABITORIUM_WINE_MSI_NEXT:?}
msi_rebuilt=${HABITORIUM_WINE_MSI_REBUILT:?}
msi_x86=${HABITORIUM_WINE_MSI_X86:?}
version=${HABITORIUM_VERSION:?}
metrics=${HABITORIUM_WINE_METRICS:?}
command -v msiinfo >/dev/null || { echo "msiinfo is missing: install the Debian package msitools" >&2; exit 1; }
for f in "$msi" "$msi_next" "$msi_rebuilt" "$msi_x86"; do
    [ -f "$f" ] || { echo "$f has not been built (./build.sh windows-test builds all)" >&2; exit 1; }
done
dir=$work/e2e-msi
mkdir -p "$dir"
drive_c=$WINEPREFIX/drive_c
name="Habitorium Rent Analysis"
failed() { echo "msi: $*" >&2; exit 1; }

# msiexec's exit status for a silent run, with its log kept for a failure.
msiexec() {
    local status=0
    "$wine" msiexec "$@" /qn /l*v "$(windows_path "$dir/msiexec.log")" >/dev/null 2>&1 || status=$?
    "$wineserver" -w 2>/dev/null || true
    return "$status"
}
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
# The uninstall entries named as either build of the tool, in both registry
# views (a 32-bit package's is in the 32-bit one):
# "KEY|DisplayVersion|Publisher|DisplayName" a line each.
entries() {
    { "$wine" reg query "$uninstall_key" /s /reg:64; "$wine" reg query "$uninstall_key" /s /reg:32; } 2>/dev/null |
        tr -d '\r' | awk -v name="$name" '
        /^HKEY_/ { if (found) print key "|" ver "|" pub "|" shown; key = $0; found = 0; ver = pub = shown = "" }
        $1 == "DisplayName" { shown = substr($0, index($0, "REG_SZ") + 10) }
        $1 == "DisplayName" && (shown == name || shown == name " (32-bit)") { found = 1 }
        $1 == "DisplayVersion" { ver = $3 }
        $1 == "Publisher" { pub = substr($0, index($0, "REG_SZ") + 10) }
        END { if (found) print key "|" ver "|" pub "|" shown }'
}
# Whether the package refuses with this message (a launch condition). Wine's
# msiexec shows only "Install Failed" and logs no text, so the package itself
# is read (msiinfo, of msitools); Windows shows the text in a box and the log.
has_message() {
    msiinfo export "$1" LaunchCondition | tr -d '\r' | cut -f2 | grep -qxF "$2"
}
# The entries of the running tool's drop-down, once there are some (within 10 s).
tenants_listed() {
    local tenants
    for _ in $(seq 100); do
        tenants=$("$wine" "$metrics" 10 | tr -d '\r' | sed -n 's/^tenants //p')
        [ "${tenants:-0}" -gt 0 ] && { echo "$tenants"; return 0; }
        sleep 0.1
    done
    return 1
}
shortcut() {
    # Per machine: the common Start menu on Windows; Wine's msi puts it in the user's.
    find "$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs" "$drive_c/users" \
        -name "$name.lnk" 2>/dev/null | head -n 1
}

# --- Installed silently into Program Files ----------------------------------
msiexec /i "$(windows_path "$msi")" || failed "the install failed (exit status $?)"
folder="$drive_c/Program Files/$name"
[ -f "$folder/habitorium-rent-analysis.exe" ] || failed "no program in $folder"
[ "$(ls -A "$folder")" = "habitorium-rent-analysis.exe" ] || failed "more than the program in $folder: $(ls -A "$folder")"
link=$(shortcut)
[ -n "$link" ] || failed "no Start menu shortcut"
tr -d '\0' <"$link" | grep -aq 'habitorium-rent-analysis.exe' || failed "the shortcut does not start the program"
tr -d '\0' <"$link" | grep -aq 'habitorium.ico' || failed "the shortcut has not the tool's icon"
[ "$(entries | wc -l)" -eq 1 ] || failed "not one uninstall entry: $(entries)"
IFS='|' read -r key shown_version publisher shown_name <<<"$(entries)"
[ "$shown_name" = "$name" ] || failed "the uninstall entry is named $shown_name"
[ "$shown_version" = "$version" ] || failed "the uninstall entry shows version $shown_version, not $version"
[ "$publisher" = "Habitorium" ] || failed "the uninstall entry's publisher is $publisher"
product=${key##*\\}
# Programs and Features' icon: the product's registered icon file.
icon=$("$wine" reg query 'HKLM\Software\Classes\Installer\Products' /s 2>/dev/null | tr -d '\r' |
    sed -n 's/^ *ProductIcon *REG_SZ *//p' | grep -F "$product" | head -n 1)
[ -n "$icon" ] && [ -f "$("$wine" winepath -u "$icon" 2>/dev/null)" ] || failed "no icon for the uninstall entry"
echo "msi: installed $version in Program Files, shortcut $(basename "$link"), entry $product"

# --- The installed program: Fix All on the sample through ODBC ---------------
make_sample "$dir/property.mdb"
cp "$dir/property.mdb" "$dir/original.mdb"
settings "ODBC;Driver={Habitorium SQLite3};Database=$dir/property.mdb"
start_app "$folder/habitorium-rent-analysis.exe"
tenants_listed >/dev/null || failed "the installed program listed no tenants"
click_twips $((240 + 800)) $((4320 + 180))        # Fix All
summary=$("$wine" "$box" 300) || failed "no summary box after Fix All"
every_tenant_done "$summary" || failed "unexpected summary: $summary"
# The box is gone when the window alone bears the title again.
for _ in $(seq 100); do
    [ "$(windows_named | wc -l)" -eq 1 ] && break
    sleep 0.1
done
click_twips $((3120 + 700)) $((4320 + 180))       # Exit
wait_for_exit || failed "the installed program did not end with status 0"
app_pid=""
PYTHONPATH="$here/e2e/lib" "$python" - "$dir/original.mdb" "$dir/property.mdb" <<'PY' || failed "Fix All of the installed program"
import sys
import reference
after = reference.snapshot(sys.argv[2])
want = reference.expected(sys.argv[1])
wrong = [t for t in want if not reference.same(after[t], want[t])]
if wrong:
    print(f"{len(wrong)} tenants differ, first {wrong[0]}:\n  file: {after[wrong[0]]}\n  want: {want[wrong[0]]}")
    sys.exit(1)
print(f"msi: the installed program's Fix All: {len(want)} tenants as the rules give")
PY
journal=$(find "$drive_c/users" -path "*$name*" -name 'repair-journal.sqlite' | head -n 1)
[ -n "$journal" ] || failed "the installed program kept no repair journal"

# --- Upgrades ---------------------------------------------------------------
if msiexec /i "$(windows_path "$msi")"; then failed "the installed package was taken again as a success"; fi
if msiexec /i "$(windows_path "$msi_rebuilt")"; then failed "another build of the same version was installed"; fi
has_message "$msi_rebuilt" "This version of $name is already installed." ||
    failed "the same version is refused without its message"
[ "$(entries | wc -l)" -eq 1 ] || failed "the same version was installed beside itself: $(entries)"
msiexec /i "$(windows_path "$msi_next")" || failed "the newer version's install failed"
[ "$(entries | wc -l)" -eq 1 ] || failed "the newer version did not replace the older: $(entries)"
IFS='|' read -r _ shown_version _ <<<"$(entries)"
[ "$shown_version" != "$version" ] || failed "the uninstall entry still shows $version after the upgrade"
[ -f "$folder/habitorium-rent-analysis.exe" ] || failed "the upgrade lost the program"
if msiexec /i "$(windows_path "$msi")"; then failed "the older version was installed over the newer"; fi
has_message "$msi" "A newer version of $name is already installed. Uninstall it first to install this older one." ||
    failed "the older version is refused without its message"
IFS='|' read -r _ still _ <<<"$(entries)"
[ "$still" = "$shown_version" ] || failed "the refused downgrade changed the installed version to $still"
echo "msi: same version and older refused, $shown_version replaced $version"

# --- Uninstalled: what it installed is gone, the user's journal stays --------
msiexec /x "$(windows_path "$msi_next")" || failed "the uninstall failed"
[ ! -e "$folder" ] || failed "$folder is left after the uninstall: $(ls -A "$folder")"
[ -z "$(shortcut)" ] || failed "the shortcut is left after the uninstall"
[ -z "$(entries)" ] || failed "the uninstall entry is left: $(entries)"
"$wine" reg query 'HKLM\SOFTWARE\Habitorium\Rent Analysis' >/dev/null 2>&1 && failed "the installer's registry key is left"
[ -f "$journal" ] || failed "the uninstall removed the user's repair journal"

# --- Beside the host application (APPPath), and INSTALLDIR= ------------------
# A 32-bit host writes its settings in the 32-bit registry view
# (HKLM\Software\Wow6432Node\... on 64-bit Windows): the realistic case,
# run through to the installed tool opening the host's database.
host="$drive_c/Habitorium"
mkdir -p "$host"
"$wine" "$sample" 'C:\Habitorium\property.mdb' --tenants 7 >/dev/null
key='HKLM\SOFTWARE\Habitorium\Settings'
no_host_settings() {
    "$wine" reg delete "$key" /f /reg:32 >/dev/null 2>&1 || true
    "$wine" reg delete "$key" /f /reg:64 >/dev/null 2>&1 || true
}
no_host_settings
wine_reg add "$key" /v APPPath /t REG_SZ /d 'C:\Habitorium' /f /reg:32
msiexec /i "$(windows_path "$msi")" || failed "the install beside the host failed"
[ -f "$host/Rent Analysis/habitorium-rent-analysis.exe" ] ||
    failed "not installed in the host's folder named in the 32-bit registry view"
[ ! -e "$folder" ] || failed "installed in Program Files although APPPath is set"
start_app "$host/Rent Analysis/habitorium-rent-analysis.exe"
# A tool that had not found it would have ended, saying it cannot start.
tenants_listed >/dev/null || failed "the tool beside the host lists no tenants: it did not find the host's database"
kill "$app_pid" 2>/dev/null || true
wait "$app_pid" 2>/dev/null || true
app_pid=""
"$wineserver" -k 2>/dev/null || true
"$wineserver" -w 2>/dev/null || true
msiexec /x "$(windows_path "$msi")" || failed "the uninstall beside the host failed"
[ ! -e "$host/Rent Analysis" ] || failed "$host/Rent Analysis is left after the uninstall"
[ -f "$host/property.mdb" ] || failed "the uninstall touched the host's database"

# Only in the 64-bit view: found there; in both: the 32-bit view's.
other_host="$drive_c/Habitorium64"
mkdir -p "$other_host"
no_host_settings
wine_reg add "$key" /v APPPath /t REG_SZ /d 'C:\Habitorium64' /f /reg:64
msiexec /i "$(windows_path "$msi")" || failed "the install beside the host of the 64-bit view failed"
[ -f "$other_host/Rent Analysis/habitorium-rent-analysis.exe" ] ||
    failed "not installed in the host's folder named in the 64-bit registry view"
msiexec /x "$(windows_path "$msi")" || failed "the uninstall beside the host of the 64-bit view failed"
wine_reg add "$key" /v APPPath /t REG_SZ /d 'C:\Habitorium' /f /reg:32
msiexec /i "$(windows_path "$msi")" || failed "the install with APPPath in both views failed"
[ -f "$host/Rent Analysis/habitorium-rent-analysis.exe" ] ||
    failed "with APPPath in both views, not installed in the folder of the 32-bit view's"
[ ! -e "$other_host/Rent Analysis" ] || failed "with APPPath in both views, installed in the 64-bit view's folder"
msiexec /x "$(windows_path "$msi")" || failed "the uninstall with APPPath in both views failed"
[ ! -e "$host/Rent Analysis" ] || failed "$host/Rent Analysis is left after the uninstall"

msiexec /i "$(windows_path "$msi")" INSTALLDIR='C:\Tools\Rent\' || failed "the install with INSTALLDIR failed"
[ -f "$drive_c/Tools/Rent/habitorium-rent-analysis.exe" ] || failed "INSTALLDIR= did not win over APPPath"
msiexec /x "$(windows_path "$msi")" || failed "the uninstall from INSTALLDIR failed"
[ ! -e "$drive_c/Tools/Rent" ] || failed "C:\\Tools\\Rent is left after the uninstall"
no_host_settings
echo "msi: beside the host in C:\\Habitorium\\Rent Analysis on the host's database (APPPath of the 32-bit view," \
    "else of the 64-bit one); INSTALLDIR= wins; all removed"

# --- The 32-bit build and the 64-bit one: never side by side -----------------
folder_x86="$drive_c/Program Files (x86)/$name"
# The one entry of the tool: "NAME|VERSION".
entry() {
    local found
    found=$(entries)
    [ "$(wc -l <<<"$found")" -eq 1 ] || failed "not one uninstall entry $1: $found"
    IFS='|' read -r _ shown_version _ shown_name <<<"$found"
    echo "$shown_name|$shown_version"
}
# Any version of the other build is replaced: the newer 64-bit one here.
msiexec /i "$(windows_path "$msi_next")" || failed "the 64-bit install before the 32-bit one failed"
msiexec /i "$(windows_path "$msi_x86")" || failed "the 32-bit install over the 64-bit one failed"
[ "$(entry "after the 32-bit install over the 64-bit one")" = "$name (32-bit)|$version" ] ||
    failed "the 32-bit build did not replace the 64-bit one: $(entries)"
[ -f "$folder_x86/habitorium-rent-analysis.exe" ] || failed "the 32-bit build is not in $folder_x86"
[ ! -e "$folder" ] || failed "the 64-bit build's folder is left beside the 32-bit one: $(ls -A "$folder")"
tr -d '\0' <"$(shortcut)" | grep -aqF 'Program Files (x86)' || failed "the shortcut does not start the 32-bit program"
"$wine" reg query 'HKLM\SOFTWARE\Habitorium\Rent Analysis' /reg:64 >/dev/null 2>&1 &&
    failed "the 64-bit build's registry key is left beside the 32-bit one"
if msiexec /i "$(windows_path "$msi_x86")"; then failed "the installed 32-bit package was taken again as a success"; fi
# And back, into a folder of IT's choosing, which the next change keeps.
msiexec /i "$(windows_path "$msi")" INSTALLDIR='C:\Tools\Rent\' ||
    failed "the 64-bit install over the 32-bit one failed"
[ "$(entry "after the 64-bit install over the 32-bit one")" = "$name|$version" ] ||
    failed "the 64-bit build did not replace the 32-bit one: $(entries)"
[ ! -e "$folder_x86" ] || failed "the 32-bit build's folder is left beside the 64-bit one"
msiexec /i "$(windows_path "$msi_x86")" || failed "the 32-bit install over the 64-bit one in C:\\Tools\\Rent failed"
[ "$(entry "after the second change")" = "$name (32-bit)|$version" ] || failed "the second change left $(entries)"
[ -f "$drive_c/Tools/Rent/habitorium-rent-analysis.exe" ] || failed "the 32-bit build did not keep C:\\Tools\\Rent"
[ ! -e "$folder_x86" ] || failed "the 32-bit build went to $folder_x86 rather than the folder it replaced"
msiexec /x "$(windows_path "$msi_x86")" || failed "the 32-bit uninstall failed"
[ ! -e "$drive_c/Tools/Rent" ] || failed "C:\\Tools\\Rent is left after the 32-bit uninstall"
[ -z "$(entries)" ] || failed "an uninstall entry is left: $(entries)"
[ -z "$(shortcut)" ] || failed "the shortcut is left after the 32-bit uninstall"
"$wine" reg query 'HKLM\SOFTWARE\Habitorium\Rent Analysis' /reg:32 >/dev/null 2>&1 &&
    failed "the 32-bit build's registry key is left"
echo "msi: the 32-bit build replaced the 64-bit one (a newer version) and was replaced by it," \
    "keeping C:\\Tools\\Rent; never both; removed"
