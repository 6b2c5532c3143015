#!/usr/bin/env python3
"""Reads a built Windows executable back with a PE reader (python3-pefile)
and checks what Windows, Explorer and inventory tools read: the machine it
is for (x64 or x86), large-address-aware, the DLLs it imports (Windows' own
only), the manifest (its processor architecture, visual styles, DPI
awareness per monitor, no elevation, Windows 10 and 11), the version
information and the icon in every size.

    resources.py PROGRAM.exe VERSION x64|x86
"""
import struct
import sys
import xml.etree.ElementTree as ET

from checks import arguments, check, finish, pefile

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
# The PE machine and the manifest's processorArchitecture of each build.
MACHINES = {"x64": (0x8664, "amd64"), "x86": (0x14C, "x86")}
IMAGE_FILE_LARGE_ADDRESS_AWARE = 0x20
# DLLs that every Windows 10 and 11 has in System32 (and SysWOW64). A
# runtime of MinGW's (libstdc++-6.dll, libwinpthread-1.dll) or any other is on
# no office PC: the program is one file to copy.
WINDOWS_DLLS = {"advapi32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll", "kernel32.dll", "msvcrt.dll",
                "odbc32.dll", "ole32.dll", "oleaut32.dll", "shell32.dll", "shlwapi.dll", "user32.dll",
                "uxtheme.dll", "version.dll", "ws2_32.dll", "mswsock.dll", "iphlpapi.dll", "secur32.dll",
                "bcrypt.dll", "crypt32.dll", "ntdll.dll", "shcore.dll", "dwmapi.dll"}


def resources(pe, kind):
    """{id: bytes} of every resource of the kind, any language."""
    found = {}
    directory = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for entry in directory.entries if directory else []:
        if entry.id != kind:
            continue
        for named in entry.directory.entries:
            for language in named.directory.entries:
                data = language.data.struct
                found[named.id] = pe.get_data(data.OffsetToData, data.Size)
    return found


def main(path, version, arch):
    pe = pefile.PE(path)
    machine, manifest_arch = MACHINES[arch]

    # What the loader reads first: the machine, and for a 32-bit program on
    # 64-bit Windows, leave to use 4 GB of address space rather than 2.
    check(pe.FILE_HEADER.Machine == machine,
          f"the machine is {pe.FILE_HEADER.Machine:#x}, not {machine:#x} ({arch})")
    check(pe.FILE_HEADER.Characteristics & IMAGE_FILE_LARGE_ADDRESS_AWARE, "not large-address-aware")
    imported = [entry.dll.decode() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]
    check(imported, "no imports read")
    foreign = [dll for dll in imported if dll.lower() not in WINDOWS_DLLS and not dll.lower().startswith("api-ms-win-")]
    check(not foreign, f"imports DLLs that are not Windows' own: {', '.join(foreign)}")

    # The manifest Windows reads at start: resource 1 of RT_MANIFEST.
    manifests = resources(pe, RT_MANIFEST)
    check(1 in manifests, "no manifest (RT_MANIFEST 1)")
    if 1 in manifests:
        root = ET.fromstring(manifests[1])
        ns = {"v1": "urn:schemas-microsoft-com:asm.v1", "v3": "urn:schemas-microsoft-com:asm.v3",
              "c": "urn:schemas-microsoft-com:compatibility.v1",
              "ws05": "http://schemas.microsoft.com/SMI/2005/WindowsSettings",
              "ws16": "http://schemas.microsoft.com/SMI/2016/WindowsSettings"}
        # Windows refuses to start a program whose own identity names another processor.
        identity = root.find("v1:assemblyIdentity", ns)
        check(identity is not None and identity.get("processorArchitecture") == manifest_arch,
              f"the manifest's processorArchitecture is not {manifest_arch}")
        controls = [a for a in root.iterfind(".//v1:dependentAssembly/v1:assemblyIdentity", ns)
                    if a.get("name") == "Microsoft.Windows.Common-Controls"]
        check(controls and controls[0].get("version") == "6.0.0.0", "no Common Controls 6 in the manifest")
        level = root.find(".//v3:requestedExecutionLevel", ns)
        check(level is not None and level.get("level") == "asInvoker", "the manifest does not ask for asInvoker")
        awareness = root.find(".//ws16:dpiAwareness", ns)
        check(awareness is not None and awareness.text.split(",")[0].strip() == "PerMonitorV2",
              "the manifest's dpiAwareness is not PerMonitorV2 first")
        aware = root.find(".//ws05:dpiAware", ns)
        check(aware is not None and aware.text.strip().lower() == "true/pm", "the manifest's dpiAware is not true/pm")
        systems = {s.get("Id").lower() for s in root.iterfind(".//c:supportedOS", ns)}
        check("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}" in systems, "Windows 10 and 11 are not a supported OS")

    # The version information, as Explorer's Details tab shows it.
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    strings = {}
    for info in getattr(pe, "FileInfo", []):
        for block in info:
            for table in getattr(block, "StringTable", []):
                strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    want = {"CompanyName": "Habitorium", "ProductName": "Habitorium Rent Analysis",
            "FileDescription": "Habitorium Rent Analysis", "OriginalFilename": "habitorium-rent-analysis.exe",
            "FileVersion": version, "ProductVersion": version}
    for key, value in want.items():
        check(strings.get(key) == value, f"version information {key} is {strings.get(key)!r}, not {value!r}")
    check("Habitorium" in strings.get("LegalCopyright", ""), "no copyright in the version information")
    fixed = pe.VS_FIXEDFILEINFO[0] if getattr(pe, "VS_FIXEDFILEINFO", None) else None
    parts = [int(p) for p in version.split(".")] + [0, 0, 0]
    if fixed is None:
        check(False, "no fixed file version")
    else:
        check((fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF, fixed.FileVersionLS >> 16) ==
              tuple(parts[:3]), "the fixed file version differs from " + version)

    # The icon: one group with the five sizes (256 is stored as 0).
    groups = resources(pe, RT_GROUP_ICON)
    icons = resources(pe, RT_ICON)
    check(1 in groups, "no icon group 1 (the program's icon)")
    if 1 in groups:
        data = groups[1]
        _, kind, count = struct.unpack_from("<HHH", data, 0)
        sizes = set()
        for i in range(count):
            width, height, _, _, _, _, _, ident = struct.unpack_from("<BBBBHHIH", data, 6 + 14 * i)
            sizes.add(width or 256)
            check(ident in icons and len(icons[ident]) > 0, f"icon image {ident} is missing")
        check(kind == 1 and sizes == {16, 24, 32, 48, 256}, f"the icon's sizes are {sorted(sizes)}")

    return finish("resources", f"{arch} ({', '.join(imported)}), manifest, version {version} and icon read back "
                  f"from {path}")


if __name__ == "__main__":
    sys.exit(main(*arguments(__doc__, 3, MACHINES)))
