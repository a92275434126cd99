#!/usr/bin/python3
"""The static check of the shipping 32-bit Windows build; scripts/check-pe.sh runs it.

    check-pe.py <win32 build dir> <1: the installer is required, else 0> <source root>
"""
import os, sys
import pefile

build, require, root = sys.argv[1], sys.argv[2] == "1", sys.argv[3]

# Windows' own DLLs (lower case). Anything else (libstdc++-6.dll, libgcc_s_*.dll,
# libwinpthread-1.dll, ...) would have to be shipped beside the .exe.
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "ole32.dll",
    "oleaut32.dll", "version.dll", "msvcrt.dll", "comctl32.dll", "comdlg32.dll",
    "shlwapi.dll", "ws2_32.dll", "ntdll.dll", "bcrypt.dll", "crypt32.dll", "winmm.dll",
}
MACHINE_I386 = 0x14C
RT_STRING, RT_RCDATA, RT_VERSION, RT_MANIFEST = 6, 10, 16, 24
SUBSYSTEM_WINDOWS_GUI = 2
INSTALLER = "QMVT04Setup.exe"
CAPTION = "2004年度企业QMVT考核任务 参数安装"

failures = []
def fail(path, what):
    failures.append(f"{os.path.relpath(path, build)}: {what}")

def executables():
    for d, dirs, files in os.walk(build):
        # CMake's compiler probes and the Wine prefix are not ours.
        dirs[:] = [x for x in dirs if x not in ("CMakeFiles", "wineprefix")]
        for f in files:
            if f.lower().endswith(".exe"):
                yield os.path.join(d, f)

def resources(pe):
    """{type id: {name or id: [data bytes, ...]}}"""
    out = {}
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return out
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        names = out.setdefault(t.id if t.name is None else str(t.name), {})
        for n in t.directory.entries:
            key = n.id if n.name is None else str(n.name)
            for lang in n.directory.entries:
                rva, size = lang.data.struct.OffsetToData, lang.data.struct.Size
                names.setdefault(key, []).append(pe.get_data(rva, size))
    return out

def string_from_table(res, sid):
    """The text of string id `sid` (UTF-16 in the block of 16 that holds it), or None."""
    for block in res.get(RT_STRING, {}).get(sid // 16 + 1, []):
        pos = 0
        for i in range(16):
            if pos + 2 > len(block):
                return None
            n = int.from_bytes(block[pos:pos + 2], "little")
            text = block[pos + 2:pos + 2 + 2 * n].decode("utf-16-le", "replace")
            pos += 2 + 2 * n
            if i == sid % 16:
                return text
    return None

def check_common(path, pe):
    if pe.FILE_HEADER.Machine != MACHINE_I386:
        fail(path, f"Machine 0x{pe.FILE_HEADER.Machine:x}, not 0x14c (i386)")
    dlls = sorted({e.dll.decode().lower() for e in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])})
    foreign = [d for d in dlls if d not in SYSTEM_DLLS]
    if foreign:
        fail(path, "imports DLLs that are not Windows' own: " + ", ".join(foreign))
    return dlls

def check_installer(path, pe):
    res = resources(pe)
    fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
    if RT_VERSION not in res or not fixed or fixed[0].Signature != 0xFEEF04BD:
        fail(path, "no version resource (VS_FIXEDFILEINFO)")
    else:
        f = fixed[0]
        print(f"  version {f.FileVersionMS >> 16}.{f.FileVersionMS & 0xFFFF}."
              f"{f.FileVersionLS >> 16}.{f.FileVersionLS & 0xFFFF}")
    task = res.get(RT_RCDATA, {}).get("TASK_ZIP")
    if not task:
        fail(path, "no RCDATA TASK_ZIP")
    else:
        data = task[0]
        if not data.startswith(b"PK\x03\x04"):
            fail(path, "TASK_ZIP is not a zip archive")
        package = os.path.join(root, "package", "task.zip")
        if os.path.exists(package):
            with open(package, "rb") as fh:
                if fh.read() != data:
                    fail(path, "TASK_ZIP differs from package/task.zip")
        print(f"  TASK_ZIP {len(data)} bytes")
    manifests = [m for ms in res.get(RT_MANIFEST, {}).values() for m in ms]
    if not manifests:
        fail(path, "no RT_MANIFEST")
    elif not any(b'level="requireAdministrator"' in m for m in manifests):
        fail(path, "the manifest does not ask for requireAdministrator")
    first = string_from_table(res, 25102)
    if not first:
        fail(path, "no engine message 25102 in the string table")
    else:
        print(f"  string 25102: {first!r}")
    if pe.OPTIONAL_HEADER.Subsystem != SUBSYSTEM_WINDOWS_GUI:
        fail(path, f"subsystem {pe.OPTIONAL_HEADER.Subsystem}, not the GUI subsystem (2)")
    with open(path, "rb") as fh:
        if CAPTION.encode("gbk") not in fh.read():
            fail(path, "the caption is not stored as GBK bytes")

found_installer = False
count = 0
for path in sorted(executables()):
    try:
        pe = pefile.PE(path)
    except pefile.PEFormatError as e:
        fail(path, f"not a PE image: {e}")
        continue
    count += 1
    dlls = check_common(path, pe)
    if os.path.basename(path) == INSTALLER:
        found_installer = True
        print(f"{os.path.relpath(path, build)}: imports {', '.join(dlls)}")
        check_installer(path, pe)

print(f"check-pe: {count} executables checked in {build}")
if not found_installer:
    if require:
        failures.append(f"{INSTALLER} was not built")
    else:
        print(f"check-pe: {INSTALLER} not built (yet); its own checks were skipped")
if count == 0:
    failures.append("no executables found")
for f in failures:
    print("FAIL  " + f)
if failures:
    print(f"check-pe: {len(failures)} FAILED")
    sys.exit(1)
print("check-pe: all passed")
