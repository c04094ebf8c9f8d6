#!/usr/bin/env python3
"""Setup.exe's imports against what the oldest supported systems export.

  setup_imports.py check TABLE OBJDUMP EXE...
      Fails (exit 1) when an EXE imports from a DLL that Windows may look for beside the
      program, or imports a function that Windows 95, 98, Me or NT 4.0 does not export
      (a stub counts as exported; the 9x tests make the stubs fail) or that TABLE lacks.

  setup_imports.py rows REFERENCE NM LIBDIR OBJDUMP EXE... [--bound DLL:NAME...]
      Prints TABLE rows for the EXEs' imports and the functions named by --bound (bound at
      run time), read from the definitions in REFERENCE and the import libraries in LIBDIR.
"""
import re
import subprocess
import sys

SYSTEMS = ("95", "98", "Me", "NT4")

# Windows loads these from its own folder whatever the search order: known DLLs on the NT
# family, and present on every supported system.
SYSTEM_FOLDER_ONLY = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll",
                      "shell32.dll", "ole32.dll", "oleaut32.dll", "msvcrt.dll",
                      "comdlg32.dll", "shlwapi.dll"}

# The 9x family exports these only as stubs that fail with ERROR_CALL_NOT_IMPLEMENTED: the
# NT security and token functions and the boot-time move (windows-exports README), and the
# W functions but those Microsoft documents as implemented on Windows 95, 98 and Me.
NAMED_STUBS = {"MoveFileExA", "OpenProcessToken", "AdjustTokenPrivileges",
               "LookupPrivilegeValueA", "LookupPrivilegeNameA", "AllocateAndInitializeSid",
               "FreeSid", "GetSecurityInfo", "SetSecurityInfo", "SetEntriesInAclA",
               "InitializeAcl", "AddAccessAllowedAce", "GetAclInformation"}
WORKING_W = {"MultiByteToWideChar", "WideCharToMultiByte", "MessageBoxW", "MessageBoxExW",
             "TextOutW", "ExtTextOutW", "GetTextExtentPointW", "GetTextExtentPoint32W",
             "GetTextExtentExPointW", "GetCharWidthW", "lstrlenW", "GetCommandLineW",
             "FindResourceW", "FindResourceExW", "EnumResourceNamesW",
             "EnumResourceTypesW", "EnumResourceLanguagesW"}

# Present on 95 (4.00 shell) and NT 4.0 for every function the setup uses (windows-exports
# README); no definitions list them by version.
README_DLLS = {"user32.dll", "gdi32.dll", "shell32.dll", "ole32.dll", "version.dll"}

# user32 functions of later versions, bound at run time where the system has them; the
# definitions do not list user32 by version, so each is named here with its source.
USER32_LATER = {"DisableProcessWindowsGhosting": "user32-XP"}


def imports(objdump, exe):
    """{dll (lower case): [function, ...]} from the PE import table."""
    text = subprocess.run([objdump, "-p", exe], check=True, capture_output=True,
                          text=True).stdout
    table = text.split("The Import Tables", 1)[-1].split("The Export Tables", 1)[0]
    found, dll = {}, None
    for line in table.splitlines():
        named = re.match(r"\s*DLL Name: (\S+)", line)
        entry = re.match(r"\t[0-9a-f]+\t\s*\d+\s+(\S+)$", line)
        if named:
            dll = named.group(1).lower()
            found.setdefault(dll, [])
        elif entry and dll:
            found[dll].append(entry.group(1))
    return found


def read_table(path):
    """{(dll, function): {system: yes|stub|no}} and the stack bytes of stdcall functions."""
    rows = {}
    for line in open(path, encoding="utf-8"):
        fields = line.split()
        if not fields or fields[0].startswith("#"):
            continue
        dll, function = fields[0].lower(), fields[1].split("@")[0]
        rows[(dll, function)] = dict(zip(SYSTEMS, fields[2:6]))
    return rows


def check(table_path, objdump, exes):
    rows = read_table(table_path)
    faults, checked = [], 0
    for exe in exes:
        for dll, functions in sorted(imports(objdump, exe).items()):
            if dll not in SYSTEM_FOLDER_ONLY:
                faults.append(f"{exe}: imports {dll}, which Windows looks for beside the "
                              "program first; load it from the system folder at run time")
            for function in functions:
                checked += 1
                row = rows.get((dll, function))
                if row is None:
                    faults.append(f"{exe}: {dll} {function} is not in {table_path}; add its "
                                  "row (setup_imports.py rows)")
                    continue
                missing = [s for s in SYSTEMS if row.get(s) not in ("yes", "stub")]
                if missing:
                    faults.append(f"{exe}: {dll} {function} is not exported on "
                                  + ", ".join(missing))
    print(f"{checked} imports of {len(exes)} executables checked, {len(faults)} faults")
    for fault in faults:
        print(fault)
    return 1 if faults else 0


# --- building rows from the definitions ---------------------------------------------------

def systems_of_section(header):
    """Which of SYSTEMS a section of the kernel32 or advapi32 definitions covers."""
    present = set()
    if not re.search(r"not available in (Win32s and )?Win9x|but not in Win9x|only in Win32s|"
                     r"only in Windows NT 3\.1", header):
        if re.search(r"all Windows versions|all Win9x|all Win32s and Win9x", header):
            present |= {"95", "98", "Me"}
        elif re.search(r"Windows 95 OSR2|Windows 98", header):
            present |= {"98", "Me"}
        elif "Windows ME" in header:
            present.add("Me")
    if not re.search(r"only in Win32s|only in Windows NT 3\.1|not available in Win32s and WinNT|"
                     r"NT 4\.0 SP", header) and \
            re.search(r"all Windows versions|all WinNT versions|all Win9x and WinNT|"
                      r"Windows NT 3\.(1|5|51)\b|Windows NT 4\.0", header):
        present.add("NT4")
    return present


def read_stdcall_definitions(path, label):
    """{name: (stack bytes, systems, source)} from a .def file; sources name the line of the
    section's header, which `headers` quotes."""
    found, header, at, open_parens = {}, "", "", False
    for number, line in enumerate(open(path, encoding="utf-8"), 1):
        line = line.rstrip("\n")
        if line.startswith("; This is list") or (open_parens and line.startswith(";")):
            if line.startswith("; This is list"):
                header, at = line[2:], f"{label}:{number}"
            else:
                header += " " + line[2:]
            open_parens = header.count("(") > header.count(")")
            HEADERS[at] = header
            continue
        open_parens = False
        symbol = re.match(r"([A-Za-z_]\w*)@(\d+)", line)
        if symbol and symbol.group(1) not in found:
            found[symbol.group(1)] = (int(symbol.group(2)), systems_of_section(header), at)
    return found


def read_msvcrt(path, label):
    """{name: source} for msvcrt.dll's exports in the Visual C++ 4.2 (NT 4.0) set."""
    found, header, at, i386 = {}, "", "", True
    for number, line in enumerate(open(path, encoding="utf-8"), 1):
        line = line.rstrip("\n")
        if line.startswith("#ifdef"):
            i386 = "__i386__" in line
        elif line.startswith("#endif"):
            i386 = True
        if line.startswith("; This is list") or line.startswith("; These symbols"):
            header, at = line[2:], f"{label}:{number}"
            HEADERS[at] = header
            continue
        if "Visual C++ 4.2" not in header or not i386:
            continue
        # Exported by the DLL though the import library replaces them ("replaced by emu").
        emulated = re.match(r"; (?:F_\w+\()?([A-Za-z_]\w*)\)? .*replaced by emu", line)
        entry = None if line.startswith(("F_NON_I386", ";")) else \
            re.match(r"(?:F_I386\(|F_X86_ANY\()?([A-Za-z_$?][\w$?@]*)(?: == ([A-Za-z_]\w*))?",
                     line)
        name = emulated.group(1) if emulated else \
            (entry.group(2) or entry.group(1)) if entry else None
        if name:
            found.setdefault(name, at)
    return found


HEADERS = {
    "README": "windows-exports README: user32, gdi32, shell32 (4.00), version and ole32 "
              "functions used today are present from 95 and NT 4.0 on",
    "W": "a W function: the definitions' headers warn that most are unimplemented on Win9x; "
         "Microsoft documents the few that work there (WORKING_W in setup_imports.py)",
    "NT-only": "an NT security, token or boot-time move function, a stub on 9x "
               "(windows-exports README)",
    "user32-XP": "a user32 function Microsoft documents from Windows XP on: 95, 98, Me, "
                 "NT 4.0 and 2000 lack it (USER32_LATER in setup_imports.py)",
}


def stack_bytes(nm, libdir, dll, function):
    library = f"{libdir}/lib{dll[:-4]}.a"
    symbols = subprocess.run([nm, library], capture_output=True, text=True).stdout
    match = re.search(rf"__imp__{re.escape(function)}@(\d+)\b", symbols)
    return int(match.group(1)) if match else None


def nine_x_stub(function):
    if function in NAMED_STUBS:
        return "NT-only"
    if re.search(r"[a-z0-9]W$", function) and function not in WORKING_W:
        return "W"
    return None


TABLE_HEADER = """\
# What Windows 95, 98, Me and NT 4.0 export of each function Setup.exe imports or binds at
# run time, and where each fact was read. tests/imports checks the shipped Setup.exe against
# it; the Windows tests that run as the 9x family make its 9x stubs fail (tests/support).
#
# Built by `tests/imports/setup_imports.py rows` from the MinGW-w64 runtime's definitions
# (mingw-w64/mingw-w64: mingw-w64-crt/lib32/kernel32.def at d7f3c52, lib32/advapi32.def,
# lib-common/msvcrt.def.in) and the import libraries' stack sizes; rerun it when the setup
# imports or binds something new, and check the rows it adds.
#
# Columns: DLL, function[@bytes of arguments], then 95, 98, Me and NT 4.0: yes (exported),
# stub (exported, fails with ERROR_CALL_NOT_IMPLEMENTED), no (not exported); then where the
# fact comes from: the line of the definitions' section header (quoted below), and why the
# 9x family has only a stub. A clean Windows 95 has no msvcrt.dll: its column says what
# every msvcrt.dll (Visual C++ 4.2, as on NT 4.0, and later) exports once installed there.
#
"""


def rows(reference, nm, libdir, objdump, exes, bound):
    kernel32 = read_stdcall_definitions(f"{reference}/kernel32.def", "kernel32.def")
    advapi32 = read_stdcall_definitions(f"{reference}/advapi32.def", "advapi32.def")
    msvcrt = read_msvcrt(f"{reference}/msvcrt.def.in", "msvcrt.def.in")
    wanted = set()
    for exe in exes:
        for dll, functions in imports(objdump, exe).items():
            wanted |= {(dll, f) for f in functions}
    for item in bound:
        dll, function = item.split(":")
        wanted.add((dll.lower(), function))
    lines, used = [], set()
    for dll, function in sorted(wanted):
        name, systems, source = function, set(), "not-found"
        if dll in ("kernel32.dll", "advapi32.dll"):
            definitions = kernel32 if dll == "kernel32.dll" else advapi32
            if function in definitions:
                size, systems, source = definitions[function]
                name = f"{function}@{size}"
        elif dll == "msvcrt.dll" and function in msvcrt:
            systems, source = set(SYSTEMS), msvcrt[function]
        elif dll == "user32.dll" and function in USER32_LATER:
            size = stack_bytes(nm, libdir, dll, function)
            name = f"{function}@{size}" if size is not None else function
            source = USER32_LATER[function]
        elif dll in README_DLLS:
            size = stack_bytes(nm, libdir, dll, function)
            name = f"{function}@{size}" if size is not None else function
            systems, source = set(SYSTEMS), "README"
        stub = nine_x_stub(function)
        marks = ["no" if s not in systems else "stub" if stub and s != "NT4" else "yes"
                 for s in SYSTEMS]
        used |= {source, stub} - {None}
        lines.append(f"{dll:<13} {name:<30} " + " ".join(f"{m:<4}" for m in marks) +
                     f" {source}" + (f" {stub}" if stub else ""))
    print(TABLE_HEADER + "# Sources:")
    for key in sorted(used, key=lambda k: (k.split(":")[0], int(k.split(":")[-1])
                                           if ":" in k else 0)):
        print(f"#   {key:<17} {HEADERS.get(key, 'not found in the definitions')}")
    print("#")
    print("\n".join(lines))
    return 0


def main(argv):
    if len(argv) >= 4 and argv[1] == "check":
        return check(argv[2], argv[3], argv[4:])
    if len(argv) >= 6 and argv[1] == "rows":
        rest = argv[6:]
        bound = rest[rest.index("--bound") + 1:] if "--bound" in rest else []
        exes = rest[:rest.index("--bound")] if "--bound" in rest else rest
        return rows(argv[2], argv[3], argv[4], argv[5], exes, bound)
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
