#!/usr/bin/env python3
"""The installer package's tables, read back with msitools on Linux.

    check_msi.py PACKAGE PREVIOUS_PACKAGE STAGE_DIR POLICY_DIR VERSION
                 PRODUCT_NAME PORTOLAN_SHORTCUT PROGRAM...

PACKAGE is checked against what it must install: the staged files (its
cabinet must hold them byte for byte), the policy templates of POLICY_DIR,
the Run value, one event source per PROGRAM and "Arvek Tarnwall" with the
message file, the two Start-menu shortcuts and the toast shortcut's
application id, and a major upgrade over PREVIOUS_PACKAGE (an older version
of the same product). Every failed check is printed; the exit code is 1 if
there is one.
"""
import filecmp
import os
import subprocess
import sys
import tempfile

FAILURES = []
CHECKS = 0


def check(condition, message):
    global CHECKS
    CHECKS += 1
    if not condition:
        FAILURES.append(message)
    return condition


def table(package, name):
    """The rows of a table as dictionaries (column name -> text)."""
    text = subprocess.run(["msiinfo", "export", package, name], check=True, capture_output=True,
                          encoding="utf-8").stdout
    lines = text.replace("\r\n", "\n").split("\n")
    columns = lines[0].split("\t")
    return [dict(zip(columns, line.split("\t"))) for line in lines[3:] if line]


def properties(package):
    return {row["Property"]: row["Value"] for row in table(package, "Property")}


def summary(package):
    text = subprocess.run(["msiinfo", "suminfo", package], check=True, capture_output=True, encoding="utf-8").stdout
    return dict(line.split(": ", 1) for line in text.splitlines() if ": " in line)


def folder_path(directories, directory):
    """A Directory table entry as the path under its root: "ProgramFiles64Folder/Arvek/Tidewatch"."""
    parts = []
    while directory:
        row = directories[directory]
        name = row["DefaultDir"].split(":")[-1].split("|")[-1]
        parent = row["Directory_Parent"]
        if not parent or parent == "TARGETDIR":
            parts.append(directory)
            break
        parts.append(name)
        directory = parent
    return "/".join(reversed(parts))


def main(argv):
    if len(argv) < 9:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    package, previous, stage, policy_dir, version, product, shortcut = argv[1:8]
    programs = argv[8:]

    info = summary(package)
    check(info.get("Template") == "x64;1033", f"summary template {info.get('Template')!r}, expected 'x64;1033'")
    page = int(info.get("Version", "0").split()[0])
    # MsiShortcutProperty needs Windows Installer 5.0.
    check(page >= 500, f"the package asks for Windows Installer {page}, the shortcut's application id needs 500")
    codepage = subprocess.run(["msiinfo", "export", package, "_ForceCodepage"], check=True, capture_output=True,
                              encoding="utf-8").stdout.split()
    check(codepage[:1] == ["1252"], f"the database's codepage is {codepage[:1]}, expected 1252")

    props, old = properties(package), properties(previous)
    for name, expected in [("ProductName", product), ("ProductVersion", version), ("Manufacturer", "Arvek"),
                           ("ALLUSERS", "1"), ("ARPPRODUCTICON", "arvek.ico")]:
        check(props.get(name) == expected, f"property {name} is {props.get(name)!r}, expected {expected!r}")
    check(props.get("UpgradeCode") and props.get("UpgradeCode") == old.get("UpgradeCode"),
          "the older package has another upgrade code")
    check(props.get("ProductCode") != old.get("ProductCode"), "both packages have the same product code")

    # Files: where they go, and that the cabinet holds the staged ones.
    directories = {row["Directory"]: row for row in table(package, "Directory")}
    components = {row["Component"]: row for row in table(package, "Component")}
    installed = {}
    for row in table(package, "File"):
        folder = folder_path(directories, components[row["Component_"]]["Directory_"])
        installed[folder + "/" + row["FileName"].split("|")[-1]] = row
    root = "ProgramFiles64Folder/Arvek/Tidewatch/"
    expected_files = {root + name for name in ("Tidewatch.exe", "Portolan.exe", "ArvekEventMessages.dll")}
    for folder, _, names in os.walk(policy_dir):
        for name in names:
            relative = os.path.relpath(os.path.join(folder, name), os.path.dirname(policy_dir))
            expected_files.add(root + relative.replace(os.sep, "/"))
    check(set(installed) == expected_files,
          f"files installed {sorted(set(installed) - expected_files)} not expected, "
          f"{sorted(expected_files - set(installed))} missing")
    for name in ("Tidewatch.exe", "Portolan.exe", "ArvekEventMessages.dll"):
        row = installed.get(root + name, {})
        check(row.get("Version") == version, f"{name} has the version {row.get('Version')!r} in the File table")
    for name, row in components.items():
        check(int(row["Attributes"]) & 256, f"component {name} is not a 64-bit component")
    with tempfile.TemporaryDirectory() as extracted:
        subprocess.run(["msiextract", "-C", extracted, package], check=True, capture_output=True)
        for path in sorted(expected_files):
            relative = path[len(root):]
            found = [os.path.join(folder, name) for folder, _, names in os.walk(extracted) for name in names
                     if os.path.relpath(os.path.join(folder, name), extracted).replace(os.sep, "/").endswith(
                         "Tidewatch/" + relative)]
            check(len(found) == 1 and filecmp.cmp(found[0], os.path.join(stage, relative), shallow=False),
                  f"the cabinet does not hold the staged {relative}")

    # The registry: the Run value and the event sources, nothing else.
    registry = {(row["Root"], row["Key"], row["Name"]): row["Value"] for row in table(package, "Registry")}
    expected_registry = {("2", r"Software\Microsoft\Windows\CurrentVersion\Run", "Tidewatch"): '"[#TidewatchExe]"'}
    for source in ["Arvek Tarnwall"] + programs:
        key = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" + source
        expected_registry[("2", key, "EventMessageFile")] = "#%[#ArvekEventMessagesDll]"
        expected_registry[("2", key, "TypesSupported")] = "#7"
    check(registry == expected_registry,
          f"registry rows {sorted(set(registry.items()) ^ set(expected_registry.items()))} differ")

    # The shortcuts, and the application id under which the agent's toasts show.
    shortcuts = {row["Shortcut"]: row for row in table(package, "Shortcut")}
    wanted = {"PortolanShortcut": (shortcut, "[#PortolanExe]"), "ToastShortcut": ("Toaster Message", "[#TidewatchExe]")}
    check(set(shortcuts) == set(wanted), f"shortcuts {sorted(shortcuts)}, expected {sorted(wanted)}")
    for name, (text, target) in wanted.items():
        row = shortcuts.get(name, {})
        check(row.get("Directory_") == "ProgramMenuFolder" and row.get("Name", "").split("|")[-1] == text
              and row.get("Target") == target, f"shortcut {name} is {row}, expected {text!r} to {target}")
    aumid = [(row["Shortcut_"], row["PropertyKey"], row["PropVariantValue"])
             for row in table(package, "MsiShortcutProperty")]
    check(aumid == [("ToastShortcut", "System.AppUserModel.ID", "Arvek Notifications")],
          f"shortcut properties {aumid}")

    # The major upgrade: an older version found and removed before anything
    # is installed, a newer one refuses the install.
    upgrade = table(package, "Upgrade")
    older = [row for row in upgrade if row["VersionMax"] == version and not int(row["Attributes"]) & (2 | 512)]
    newer = [row for row in upgrade if row["VersionMin"] == version and int(row["Attributes"]) & 2]
    check(len(older) == 1 and older[0]["VersionMin"] == "" and older[0]["UpgradeCode"] == props.get("UpgradeCode"),
          f"no removal of older versions in {upgrade}")
    check(len(newer) == 1, f"no detection of newer versions in {upgrade}")
    conditions = [row["Condition"] for row in table(package, "LaunchCondition")]
    check(newer and f"NOT {newer[0]['ActionProperty']}" in conditions, f"a newer version does not stop the install: {conditions}")
    sequence = {row["Action"]: int(row["Sequence"]) for row in table(package, "InstallExecuteSequence")}
    check(sequence.get("FindRelatedProducts", 10 ** 6) < sequence.get("InstallValidate", 0)
          < sequence.get("RemoveExistingProducts", 0) < sequence.get("InstallInitialize", 0),
          f"RemoveExistingProducts is not between InstallValidate and InstallInitialize: {sequence}")
    removed = [(row["DirProperty"], row["InstallMode"]) for row in table(package, "RemoveFile")]
    check(("ArvekFolder", "2") in removed, f"the Arvek folder is not removed on uninstall: {removed}")

    for failure in FAILURES:
        print("FAIL:", failure)
    print(f"{CHECKS - len(FAILURES)} passed, {len(FAILURES)} failed")
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
