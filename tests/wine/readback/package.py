#!/usr/bin/env python3
"""Reads a built installer back with msiinfo and msiextract (msitools) and
checks what Windows Installer acts on for its build (x64 or x86): the
platform of its summary, the bitness of every component, the Program Files
folder it installs into, the registry views it searches (the host's APPPath
in the 32-bit view, then the 64-bit one; its own earlier folder in its own
view), its product name and UpgradeCode, the removal of the other build
whatever its version, and the program it carries.

    package.py INSTALLER.msi x64|x86
"""
import os
import subprocess
import sys
import tempfile

from checks import arguments, check, finish, pefile

# The UpgradeCodes never change: an installed copy is upgraded, or replaced
# by the other build, only through them.
UPGRADE_CODES = {"x64": "{45700D55-068D-4B24-B94E-86673D2B8FD3}", "x86": "{3E909A66-4CEA-4AA6-8A4F-EC4C90F2AEF5}"}
BUILDS = {
    "x64": {"template": "x64;1033", "folder": "ProgramFiles64Folder", "machine": 0x8664,
            "name": "Habitorium Rent Analysis"},
    "x86": {"template": "Intel;1033", "folder": "ProgramFilesFolder", "machine": 0x14C,
            "name": "Habitorium Rent Analysis (32-bit)"},
}
COMPONENT_64BIT = 256  # msidbComponentAttributes64bit
LOCATOR_64BIT = 16  # msidbLocatorType64bit
UPGRADE_ONLY_DETECT, UPGRADE_MIN_INCLUSIVE = 2, 256


def msiinfo(*args):
    done = subprocess.run(["msiinfo", *args], capture_output=True, text=True)
    if done.returncode != 0:
        raise SystemExit(f"package: msiinfo {' '.join(args)} failed: {done.stderr.strip()}")
    return done.stdout.replace("\r", "")


def table(path, name):
    """The rows of a table as dictionaries by column name (msiinfo export:
    names, types, the table's name and keys, then the rows)."""
    lines = msiinfo("export", path, name).split("\n")
    columns = lines[0].split("\t")
    return [dict(zip(columns, line.split("\t"))) for line in lines[3:] if line]


def main(path, arch):
    build = BUILDS[arch]
    other = "x86" if arch == "x64" else "x64"

    summary = dict(line.split(": ", 1) for line in msiinfo("suminfo", path).splitlines() if ": " in line)
    check(summary.get("Template") == build["template"],
          f"the summary's platform is {summary.get('Template')!r}, not {build['template']!r}")

    for component in table(path, "Component"):
        is64 = bool(int(component["Attributes"]) & COMPONENT_64BIT)
        check(is64 == (arch == "x64"), f"component {component['Component']} is {'64' if is64 else '32'}-bit")

    directories = {row["Directory"]: row for row in table(path, "Directory")}
    parent = directories.get("INSTALLDIR", {}).get("Directory_Parent")
    check(parent == build["folder"], f"INSTALLDIR is in {parent}, not {build['folder']}")
    check(BUILDS[other]["folder"] not in directories, f"{BUILDS[other]['folder']} is in the Directory table")

    properties = {row["Property"]: row["Value"] for row in table(path, "Property")}
    check(properties.get("ProductName") == build["name"], f"the product name is {properties.get('ProductName')!r}")
    check(properties.get("UpgradeCode", "").upper() == UPGRADE_CODES[arch],
          f"the UpgradeCode is {properties.get('UpgradeCode')}, not {UPGRADE_CODES[arch]}")

    # The searches: which property each fills, from which view.
    locators = {row["Signature_"]: row for row in table(path, "RegLocator")}
    searches = {}
    for row in table(path, "AppSearch"):
        locator = locators.get(row["Signature_"])
        if locator:
            view = 64 if int(locator["Type"]) & LOCATOR_64BIT else 32
            searches[row["Property"]] = (locator["Key"], locator["Name"], view)
    host_key = ("SOFTWARE\\Habitorium\\Settings", "APPPath")
    check(searches.get("HOSTFOLDER") == (*host_key, 32), f"HOSTFOLDER is not APPPath of the 32-bit view: "
          f"{searches.get('HOSTFOLDER')}")
    check(searches.get("HOSTFOLDER64") == (*host_key, 64), f"HOSTFOLDER64 is not APPPath of the 64-bit view: "
          f"{searches.get('HOSTFOLDER64')}")
    own_view, other_view = (64, 32) if arch == "x64" else (32, 64)
    check(searches.get("PREVIOUSINSTALLDIR", (None,) * 3)[2] == own_view,
          f"the earlier folder is not searched in the {own_view}-bit view")
    check(searches.get("OTHERINSTALLDIR", (None,) * 3)[2] == other_view,
          f"the other build's folder is not searched in the {other_view}-bit view")

    # This build's own upgrades and refusals (run under Wine for the 64-bit
    # one) look for this build's UpgradeCode; the other build, of any
    # version, is removed (not only detected).
    upgrades = table(path, "Upgrade")
    own = {row["ActionProperty"] for row in upgrades if row["UpgradeCode"].upper() == UPGRADE_CODES[arch]}
    check(own == {"SAMEVERSIONFOUND", "WIX_UPGRADE_DETECTED", "WIX_DOWNGRADE_DETECTED"},
          f"the searches for this build's other versions are {sorted(own)}")
    secure = properties.get("SecureCustomProperties", "").split(";")
    removing = [row for row in upgrades if row["UpgradeCode"].upper() == UPGRADE_CODES[other]]
    check(len(removing) == 1, f"{len(removing)} Upgrade rows for the {other} build's UpgradeCode, not 1")
    for row in removing:
        attributes = int(row["Attributes"])
        check(row["VersionMin"] in ("", "0.0.0") and (row["VersionMin"] == "" or attributes & UPGRADE_MIN_INCLUSIVE)
              and row["VersionMax"] == "", f"the {other} build is removed only from {row['VersionMin']} "
              f"to {row['VersionMax']!r}")
        check(not attributes & UPGRADE_ONLY_DETECT, f"the {other} build is only detected, never removed")
        check(row["ActionProperty"] in secure, f"{row['ActionProperty']} is not a secure property")

    # The program inside is this build's.
    with tempfile.TemporaryDirectory() as folder:
        done = subprocess.run(["msiextract", "-C", folder, path], capture_output=True, text=True)
        check(done.returncode == 0, f"msiextract failed: {done.stderr.strip()}")
        programs = [os.path.join(d, f) for d, _, files in os.walk(folder) for f in files if f.endswith(".exe")]
        check(len(programs) == 1, f"{len(programs)} programs in the package, not 1")
        for program in programs:
            machine = pefile.PE(program, fast_load=True).FILE_HEADER.Machine
            check(machine == build["machine"], f"the program inside is for machine {machine:#x}, not {arch}")

    return finish("package", f"{arch} ({build['template']}, {build['folder']}) read back from {path}")


if __name__ == "__main__":
    sys.exit(main(*arguments(__doc__, 2, BUILDS)))
