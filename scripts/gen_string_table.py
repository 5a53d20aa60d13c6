#!/usr/bin/env python3
"""Builds both programs' string tables from resources/strings/*.txt.

    gen_string_table.py --output DIR SOURCE...

SOURCE is a language file or a folder of them (its *.txt files). Writes into
DIR:

  tidewatch_strings.rc  the STRINGTABLEs of Tidewatch.exe: ids 500-558 in
                        English (0x0409), ids 500-556 in every other language
  portolan_strings.rc   the same for Portolan.exe: ids 500-556 in every language
  string_table.h/.cpp   both tables as C++ data, for the simulated notebook and
                        for the Windows tests' expectations

A language file is named "<4 hex digits of the language id>-<tag>.txt" and
holds UTF-8 lines: "# comment", blank lines, and "<id> <text>" (one space
after the id; the rest of the line is the text). Escapes in a text: \\r, \\n,
\\\\ and \\uXXXX; every other character stands for itself.

Anything the tables cannot carry faithfully (a malformed line, an unknown
escape, an id twice or outside the language's range, an unknown language) is
reported as "file:line: message" on stderr, every problem of every file in
one run, and nothing is written (exit code 1). What a file merely lacks (a
missing or empty text, an untranslated one) is left to the table's tests, so
a half-finished translation still builds.
"""

import argparse
import os
import re
import sys

ENGLISH = 0x0409
FIRST_ID = 500
LAST_SHARED_ID = 556   # ids 500-556: every language, both programs
LAST_ENGLISH_ID = 558  # ids 557-558: Tidewatch's English block only

# The table's 34 languages: id -> (tag of the file name, the id's names).
# The 27 languages without a region carry neutral ids; six carry a region's
# id, and 0x041A carries Serbian texts in Latin script.
LANGUAGES = {
    0x0001: ("ar", "LANG_ARABIC, SUBLANG_NEUTRAL"),
    0x0002: ("bg", "LANG_BULGARIAN, SUBLANG_NEUTRAL"),
    0x0004: ("zh-Hans", "LANG_CHINESE, SUBLANG_NEUTRAL"),
    0x0005: ("cs", "LANG_CZECH, SUBLANG_NEUTRAL"),
    0x0006: ("da", "LANG_DANISH, SUBLANG_NEUTRAL"),
    0x0007: ("de", "LANG_GERMAN, SUBLANG_NEUTRAL"),
    0x0008: ("el", "LANG_GREEK, SUBLANG_NEUTRAL"),
    0x000A: ("es", "LANG_SPANISH, SUBLANG_NEUTRAL"),
    0x000B: ("fi", "LANG_FINNISH, SUBLANG_NEUTRAL"),
    0x000D: ("he", "LANG_HEBREW, SUBLANG_NEUTRAL"),
    0x000E: ("hu", "LANG_HUNGARIAN, SUBLANG_NEUTRAL"),
    0x0010: ("it", "LANG_ITALIAN, SUBLANG_NEUTRAL"),
    0x0012: ("ko", "LANG_KOREAN, SUBLANG_NEUTRAL"),
    0x0013: ("nl", "LANG_DUTCH, SUBLANG_NEUTRAL"),
    0x0014: ("no", "LANG_NORWEGIAN, SUBLANG_NEUTRAL"),
    0x0015: ("pl", "LANG_POLISH, SUBLANG_NEUTRAL"),
    0x0018: ("ro", "LANG_ROMANIAN, SUBLANG_NEUTRAL"),
    0x0019: ("ru", "LANG_RUSSIAN, SUBLANG_NEUTRAL"),
    0x001A: ("hr", "LANG_CROATIAN, SUBLANG_NEUTRAL"),
    0x001B: ("sk", "LANG_SLOVAK, SUBLANG_NEUTRAL"),
    0x001D: ("sv", "LANG_SWEDISH, SUBLANG_NEUTRAL"),
    0x001E: ("th", "LANG_THAI, SUBLANG_NEUTRAL"),
    0x001F: ("tr", "LANG_TURKISH, SUBLANG_NEUTRAL"),
    0x0024: ("sl", "LANG_SLOVENIAN, SUBLANG_NEUTRAL"),
    0x0025: ("et", "LANG_ESTONIAN, SUBLANG_NEUTRAL"),
    0x0026: ("lv", "LANG_LATVIAN, SUBLANG_NEUTRAL"),
    0x0027: ("lt", "LANG_LITHUANIAN, SUBLANG_NEUTRAL"),
    0x0404: ("zh-TW", "LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL"),
    0x0409: ("en-US", "LANG_ENGLISH, SUBLANG_ENGLISH_US"),
    0x040C: ("fr-FR", "LANG_FRENCH, SUBLANG_FRENCH"),
    0x0411: ("ja", "LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN"),
    0x0416: ("pt-BR", "LANG_PORTUGUESE, SUBLANG_PORTUGUESE_BRAZILIAN"),
    0x041A: ("sr-Latn", "LANG_CROATIAN, SUBLANG_CROATIAN_CROATIA"),
    0x0816: ("pt-PT", "LANG_PORTUGUESE, SUBLANG_PORTUGUESE"),
}

# (program, its ids in English, its ids in the other languages)
PROGRAMS = [
    ("Tidewatch", LAST_ENGLISH_ID, LAST_SHARED_ID),
    ("Portolan", LAST_SHARED_ID, LAST_SHARED_ID),
]

FILE_NAME = re.compile(r"^([0-9A-Fa-f]{4})-([A-Za-z0-9-]+)\.txt$")
ENTRY = re.compile(r"^([1-9][0-9]*) (.*)$", re.DOTALL)


class Problems:
    def __init__(self):
        self.lines = []

    def add(self, path, line, message):
        where = f"{path}:{line}" if line else path
        self.lines.append(f"{where}: {message}")


class Language:
    def __init__(self, language_id, path):
        self.id = language_id
        self.path = path
        self.file = os.path.basename(path)
        self.texts = {}  # id -> text (str of BMP characters)


def describe(ch):
    return f"U+{ord(ch):04X}"


def character_problems(text, allow_line_breaks):
    """What is wrong with the characters of a text, one message each."""
    found = []
    for ch in text:
        code = ord(ch)
        if allow_line_breaks and ch in "\r\n":
            continue
        if code < 0x20 or 0x7F <= code <= 0x9F:
            found.append(f"control character {describe(ch)} in the text")
        elif 0xD800 <= code <= 0xDFFF:
            found.append(f"lone surrogate {describe(ch)} in the text")
        elif code > 0xFFFF:
            # The Linux table counts characters where Windows counts UTF-16
            # units; keeping to one unit per character keeps them equal.
            found.append(f"character {describe(ch)} lies outside the Basic Multilingual Plane")
        elif code == 0xFEFF:
            found.append("byte-order mark inside the text")
    return found


def unescape(raw, path, line_number, problems):
    """The text of a line, its escapes replaced; None after a problem."""
    # Line breaks only as escapes: a carriage return left in the line is an error.
    found = character_problems(raw, allow_line_breaks=False)
    for message in found:
        problems.add(path, line_number, message)
    if found:
        return None
    out = []
    i = 0
    while i < len(raw):
        ch = raw[i]
        if ch == "\\":
            nxt = raw[i + 1] if i + 1 < len(raw) else ""
            if nxt == "r":
                out.append("\r")
                i += 2
            elif nxt == "n":
                out.append("\n")
                i += 2
            elif nxt == "\\":
                out.append("\\")
                i += 2
            elif nxt == "u":
                digits = raw[i + 2:i + 6]
                if not re.fullmatch(r"[0-9A-Fa-f]{4}", digits):
                    problems.add(path, line_number,
                                 f"\\u must be followed by four hex digits, not \"{digits}\"")
                    return None
                out.append(chr(int(digits, 16)))
                i += 6
            elif not nxt:
                problems.add(path, line_number,
                             "a backslash ends the line; write \\\\ for a backslash")
                return None
            else:
                problems.add(path, line_number,
                             f"unknown escape \\{nxt}; use \\r, \\n, \\\\ or \\uXXXX")
                return None
        else:
            out.append(ch)
            i += 1
    text = "".join(out)
    found = character_problems(text, allow_line_breaks=True)
    for message in found:
        problems.add(path, line_number, message)
    return None if found else text


def read_language(path, problems):
    name = os.path.basename(path)
    match = FILE_NAME.match(name)
    if not match:
        problems.add(path, 0, "a language file is named <4 hex digits of the language id>-<tag>.txt")
        return None
    language_id = int(match.group(1), 16)
    if language_id not in LANGUAGES:
        problems.add(path, 0, f"0x{language_id:04X} is not one of the table's languages")
        return None
    tag = LANGUAGES[language_id][0]
    if match.group(2) != tag:
        problems.add(path, 0, f"language 0x{language_id:04X} is tagged \"{tag}\": "
                              f"name the file {match.group(1)}-{tag}.txt")
        return None
    language = Language(language_id, path)
    last_id = LAST_ENGLISH_ID if language_id == ENGLISH else LAST_SHARED_ID
    first_line = {}
    with open(path, "rb") as f:
        data = f.read()
    for number, raw_bytes in enumerate(data.split(b"\n"), start=1):
        if raw_bytes.endswith(b"\r"):  # a file saved with Windows line ends
            raw_bytes = raw_bytes[:-1]
        try:
            line = raw_bytes.decode("utf-8")
        except UnicodeDecodeError as error:
            problems.add(path, number, f"not UTF-8 (byte {error.start + 1} of the line)")
            continue
        if number == 1 and line.startswith("\ufeff"):
            line = line[1:]
        if not line.strip() or line.startswith("#"):
            continue
        entry = ENTRY.match(line)
        if not entry:
            problems.add(path, number, "expected \"<id> <text>\" (one space after the id), "
                                       "a # comment or a blank line")
            continue
        text_id = int(entry.group(1))
        if not FIRST_ID <= text_id <= last_id:
            problems.add(path, number, f"id {text_id} is outside this language's ids "
                                       f"{FIRST_ID}-{last_id}")
            continue
        if text_id in first_line:
            problems.add(path, number, f"id {text_id} again (first on line {first_line[text_id]})")
            continue
        first_line[text_id] = number
        text = unescape(entry.group(2), path, number, problems)
        if text is not None:
            language.texts[text_id] = text
    return language


def collect_sources(sources, problems):
    paths = []
    for source in sources:
        if os.path.isdir(source):
            paths.extend(os.path.join(source, n) for n in sorted(os.listdir(source)) if n.endswith(".txt"))
        elif os.path.isfile(source):
            paths.append(source)
        else:
            problems.add(source, 0, "no such file or folder")
    return paths


def read_languages(sources, problems):
    languages = {}
    for path in collect_sources(sources, problems):
        language = read_language(path, problems)
        if language is None:
            continue
        if language.id in languages:
            problems.add(path, 0, f"language 0x{language.id:04X} again (also {languages[language.id].path})")
            continue
        languages[language.id] = language
    if ENGLISH not in languages and not problems.lines:
        problems.add("0409-en-US.txt", 0, "the English master table is missing")
    return [languages[k] for k in sorted(languages)]


def rc_string(text):
    out = []
    for ch in text:
        if ch == '"':
            out.append('""')
        elif ch == "\\":
            out.append("\\\\")
        elif ch == "\r":
            out.append("\\r")
        elif ch == "\n":
            out.append("\\n")
        else:
            out.append(ch)  # written as UTF-8 (#pragma code_page(65001))
    return '"' + "".join(out) + '"'


def cpp_string(text):
    out = []
    for ch in text:
        code = ord(ch)
        if ch == '"':
            out.append('\\"')
        elif ch == "\\":
            out.append("\\\\")
        elif ch == "\r":
            out.append("\\r")
        elif ch == "\n":
            out.append("\\n")
        elif 0x20 <= code < 0x7F:
            out.append(ch)
        else:
            out.append(f"\\u{code:04X}")
    return 'L"' + "".join(out) + '"'


def last_id_of(program, language_id):
    _, english_last, other_last = program
    return english_last if language_id == ENGLISH else other_last


HEADER_NOTE = "Generated by scripts/gen_string_table.py from resources/strings/*.txt: do not edit."


def write_rc(program, languages):
    name = program[0]
    lines = [
        f"// {HEADER_NOTE}",
        f"// {name}'s string table: ids {FIRST_ID}-{program[1]} in English (0x0409), "
        f"{FIRST_ID}-{program[2]} in the other languages.",
        "// Each block sets its own LANGUAGE: include this last, after the blocks",
        "// that take the script's own LANGUAGE.",
        "#pragma code_page(65001)",
        "",
    ]
    for language in languages:
        tag, names = LANGUAGES[language.id]
        last = last_id_of(program, language.id)
        entries = [(i, t) for i, t in sorted(language.texts.items()) if i <= last and t]
        if not entries:
            continue
        lines.append(f"// 0x{language.id:04X} {tag} ({language.file})")
        # In numbers: windres's headers lack some of the sublanguage names.
        lines.append(f"LANGUAGE 0x{language.id & 0x3FF:02X}, 0x{language.id >> 10:02X}  // {names}")
        lines.append("STRINGTABLE")
        lines.append("BEGIN")
        lines.extend(f"    {i} {rc_string(t)}" for i, t in entries)
        lines.append("END")
        lines.append("")
    return "\n".join(lines)


HEADER = """\
// {note}
// Both programs' string tables as data: the simulated notebook loads its
// texts from here, and the Windows tests compare the programs' resources
// with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace Arvek::Strings {{

enum class Program {{ Tidewatch, Portolan }};

inline constexpr std::uint32_t kFirstId = {first};

// One language of one program: ids kFirstId .. kFirstId + count - 1.
struct Block {{
    std::uint16_t language;       // resource language id, e.g. 0x0007
    const char* file;             // its source, e.g. "0007-de.txt"
    std::size_t count;
    const wchar_t* const* texts;  // count entries; nullptr: the file lacks the id

    // The text of `id`; nullptr when the block does not carry it.
    const wchar_t* Find(std::uint32_t id) const {{
        return id >= kFirstId && id - kFirstId < count ? texts[id - kFirstId] : nullptr;
    }}
}};

// The program's blocks in ascending language id, as in its resource directory.
std::span<const Block> ProgramBlocks(Program program);

}}  // namespace Arvek::Strings
"""


def write_cpp(languages):
    lines = [
        f"// {HEADER_NOTE}",
        '#include "string_table.h"',
        "",
        "namespace Arvek::Strings {",
        "namespace {",
        "",
    ]
    for language in languages:
        last = LAST_ENGLISH_ID if language.id == ENGLISH else LAST_SHARED_ID
        lines.append(f"// 0x{language.id:04X} ({language.file})")
        lines.append(f"const wchar_t* const kTexts{language.id:04X}[] = {{")
        for text_id in range(FIRST_ID, last + 1):
            text = language.texts.get(text_id)
            value = "nullptr" if text is None else cpp_string(text)
            lines.append(f"    /* {text_id} */ {value},")
        lines.append("};")
        lines.append("")
    for program in PROGRAMS:
        lines.append(f"const Block k{program[0]}[] = {{")
        for language in languages:
            count = last_id_of(program, language.id) - FIRST_ID + 1
            lines.append(f'    {{0x{language.id:04X}, "{language.file}", {count}, kTexts{language.id:04X}}},')
        if not languages:
            lines.append("    {0, \"\", 0, nullptr},")
        lines.append("};")
        lines.append("")
    lines.extend([
        "}  // namespace",
        "",
        "std::span<const Block> ProgramBlocks(Program program) {",
        f"    const std::size_t count = {len(languages)};",
        "    return program == Program::Tidewatch ? std::span<const Block>(kTidewatch, count)",
        "                                         : std::span<const Block>(kPortolan, count);",
        "}",
        "",
        "}  // namespace Arvek::Strings",
        "",
    ])
    return "\n".join(lines)


def write_if_changed(path, content):
    """Rewrites only a changed file, so an unchanged table rebuilds nothing."""
    data = content.encode("utf-8")
    try:
        with open(path, "rb") as f:
            if f.read() == data:
                return
    except FileNotFoundError:
        pass
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)


def main(argv):
    parser = argparse.ArgumentParser(description="Builds the programs' string tables.")
    parser.add_argument("--output", required=True, help="folder for the generated files")
    parser.add_argument("sources", nargs="+", help="language files or folders of them")
    args = parser.parse_args(argv)

    problems = Problems()
    languages = read_languages(args.sources, problems)
    if problems.lines:
        for line in problems.lines:
            print(line, file=sys.stderr)
        print(f"gen_string_table.py: {len(problems.lines)} problem(s); nothing written",
              file=sys.stderr)
        return 1

    os.makedirs(args.output, exist_ok=True)
    outputs = {
        "string_table.h": HEADER.format(note=HEADER_NOTE, first=FIRST_ID),
        "string_table.cpp": write_cpp(languages),
        "tidewatch_strings.rc": write_rc(PROGRAMS[0], languages),
        "portolan_strings.rc": write_rc(PROGRAMS[1], languages),
    }
    for name, content in outputs.items():
        write_if_changed(os.path.join(args.output, name), content)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
