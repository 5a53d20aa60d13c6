#!/usr/bin/env python3
"""The simulated notebook's .reg reader against Wine's reg import.

Every file of the corpus (tests/reg-corpus) is imported by `wine reg import`
into a Wine prefix of its own and read back with reg_dump.exe, and read by
the simulation's reader through reg_import_dump; both print the same text
form of what they stored (tests/tools/reg_text_form.h).

- accepted/: both must take the file and store the same keys, types and bytes.
- refused/:  the reader must refuse the file, naming it and a line; Wine may
  take it, but must store no key and no value whose name begins with
  "Invalid": each file marks what Windows drops (and the reader refuses)
  with such a name.

A file named *.utf16.reg is kept in UTF-8, so that it reads and diffs as
text, and handed to both as UTF-16LE with its byte order mark, as regedit
writes it. Exit code 0 when every file passes, 1 otherwise.
"""
import argparse
import pathlib
import re
import subprocess
import sys
import tempfile

ROOT = "HKEY_CURRENT_USER\\Software\\ArvekRegTest"


def windows_path(path):
    return "Z:" + str(path.resolve()).replace("/", "\\")


def run(command):
    result = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
    return result.returncode, result.stdout.decode("utf-8", "replace"), result.stderr.decode("utf-8", "replace")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--run-wine", required=True, help="tests/wine/run-wine.sh")
    parser.add_argument("--wine-dir", required=True, help="the folder of the Wine prefix")
    parser.add_argument("--dumper", required=True, type=pathlib.Path, help="reg_dump.exe")
    parser.add_argument("--reader", required=True, help="reg_import_dump")
    parser.add_argument("--corpus", required=True, type=pathlib.Path, help="tests/reg-corpus")
    args = parser.parse_args()

    wine = [args.run_wine, args.wine_dir]
    dump = wine + [windows_path(args.dumper), ROOT]

    def wine_dump():
        rc, out, err = run(dump)
        if rc != 0:
            raise RuntimeError(f"reg_dump.exe failed ({rc}): {err.strip()}")
        return [line for line in out.splitlines() if line]

    # Whatever an interrupted run left in the scratch key goes first.
    wine_dump()

    files = sorted(args.corpus.glob("accepted/*.reg")) + sorted(args.corpus.glob("refused/*.reg"))
    if not files:
        print(f"no .reg files in {args.corpus}")
        return 1
    failures = []
    scratch = tempfile.TemporaryDirectory()
    for source in files:
        name = f"{source.parent.name}/{source.name}"
        path = source
        if source.name.endswith(".utf16.reg"):
            path = pathlib.Path(scratch.name) / source.name
            text = source.read_bytes().decode("utf-8")
            path.write_bytes(b"\xff\xfe" + text.encode("utf-16-le", "surrogatepass"))
        import_rc, _, import_err = run(wine + ["reg", "import", windows_path(path)])
        wine_lines = wine_dump()
        reader_rc, reader_out, reader_err = run([args.reader, str(path), ROOT])
        reader_lines = [line for line in reader_out.splitlines() if line]
        problems = []
        if source.parent.name == "accepted":
            if import_rc != 0:
                problems.append(f"wine reg import failed ({import_rc}): {import_err.strip()}")
            if reader_rc != 0:
                problems.append(f"the reader refused it ({reader_rc}): {reader_err.strip()}")
            elif wine_lines != reader_lines:
                problems.append("stored differently:\n" + "\n".join(
                    [f"  wine:   {line}" for line in wine_lines if line not in reader_lines] +
                    [f"  reader: {line}" for line in reader_lines if line not in wine_lines]))
        else:
            if reader_rc != 3 or not re.match(re.escape(str(path)) + r":\d+: ", reader_err):
                problems.append(f"the reader did not refuse it with file and line ({reader_rc}): "
                                f"{reader_err.strip() or reader_out.strip()}")
            marked = [line for line in wine_lines if re.search(r'\\Invalid[^\\ ]*(\\| |$)|"Invalid[^"]*"', line)]
            if marked:
                problems.append("Wine stored what the file marks as dropped:\n" +
                                "\n".join(f"  {line}" for line in marked))
            if reader_rc == 3:
                name += "  (" + reader_err.strip().split(": ", 1)[-1] + ")"
        if problems:
            failures.append(source)
            print(f"FAIL {name}")
            for problem in problems:
                print("  " + problem.replace("\n", "\n  "))
        else:
            print(f"ok   {name}")
    print(f"{len(files) - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
