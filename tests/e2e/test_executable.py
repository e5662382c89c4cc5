"""The built installer file itself: a 32-bit GUI program that loads only system DLLs, so it
runs from a bare temporary folder (its DLL search is restricted to the System folder)."""

import re
import shutil

import pytest

import e2e_env

# Only DLLs that Windows always takes from the System folder (KnownDLLs) may be imported: the
# loader resolves imports before the first line of the program runs, so a wininet.dll planted
# beside the elevated copy would be loaded. WinINet, the common controls, GDI+ and gdi32 are loaded
# by full path at run time; the GCC runtimes are linked in.
ALLOWED_IMPORTS = {"kernel32.dll", "user32.dll", "advapi32.dll", "shell32.dll", "ole32.dll", "msvcrt.dll"}


def _objdump():
    tool = shutil.which("i686-w64-mingw32-objdump")
    if tool is None:
        pytest.skip("i686-w64-mingw32-objdump is not installed")
    return tool


def test_installer_is_a_32bit_gui_program_importing_system_dlls_only(build):
    build.require("shipped_installer")
    result = e2e_env.run([_objdump(), "-p", build.shipped_installer], timeout=60)
    header = result.stdout
    print(f"\n{build.shipped_installer}: {build.shipped_installer.stat().st_size} bytes")

    assert "file format pei-i386" in header
    assert re.search(r"^Magic\s+010b\b", header, re.M), "not a PE32 (32-bit) optional header"
    assert re.search(r"^Subsystem\s+00000002\b", header, re.M), "not a Windows GUI program"

    imports = [name.lower() for name in re.findall(r"DLL Name:\s*(\S+)", header)]
    print("imports:", ", ".join(imports))
    # Without these the parse above found nothing, and the checks below would be empty.
    assert {"kernel32.dll", "user32.dll"} <= set(imports)
    assert set(imports) <= ALLOWED_IMPORTS, f"unexpected imports: {sorted(set(imports) - ALLOWED_IMPORTS)}"
    forbidden = [name for name in imports
                 if name == "gdi32.dll" or name.startswith(("libstdc++", "libgcc", "libwinpthread"))]
    assert forbidden == []


# Resource types the installer cannot run without: its icon (RT_ICON, RT_GROUP_ICON), the window
# class name (RT_STRING), the manifest (RT_MANIFEST), the text table, the extractor, the logo and
# the version file's public key. A resource script that lost one still links.
REQUIRED_RESOURCE_TYPES = {3, 6, 14, 24, 1000, 2000, 3000, 4000}


def test_installer_carries_every_resource_it_needs(build):
    build.require("shipped_installer")
    header = e2e_env.run([_objdump(), "-p", build.shipped_installer], timeout=60).stdout
    directory = header.split("The .rsrc Resource Directory section", 1)[-1]
    # The type table's entries are the first level of the directory (three blanks in).
    types = {int(value, 16) for value in re.findall(r"^[0-9a-f]{3}   Entry: ID: (0x[0-9a-f]+)", directory, re.M)}
    print(f"\nresource types: {sorted(types)}")
    assert REQUIRED_RESOURCE_TYPES <= types, f"missing: {sorted(REQUIRED_RESOURCE_TYPES - types)}"


# The one-file download stays small; the Authenticode signature adds a few kilobytes on top.
# (Raised from 1.3 MB when the proxy, the image check, the log channel, the display scales and
# the screen-reader names came in: about 35 KB of code and 42 KB of resources.)
SIZE_BUDGET = 1_400_000


def test_installer_stays_within_its_size_budget(build):
    build.require("shipped_installer")
    size = build.shipped_installer.stat().st_size
    sections = re.findall(r"^\s*\d+\s+(\.\w+)\s+([0-9a-f]{8})\s", e2e_env.run([_objdump(), "-h", build.shipped_installer],
                                                                              timeout=60).stdout, re.M)
    sizes = {name: int(value, 16) for name, value in sections}
    print(f"\n{build.shipped_installer}: {size} bytes; " + ", ".join(f"{n} {v}" for n, v in sizes.items()))
    # The parse found the code and the resources (the extractor is among the latter).
    assert sizes[".text"] > 0 and sizes[".rsrc"] > 0
    assert size <= SIZE_BUDGET
