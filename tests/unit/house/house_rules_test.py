#!/usr/bin/env python3
"""The house rules, checked over src/, base/, providers/ and tests/:

- no source file (.c .cpp .h .py) over 400 lines;
- no C/C++ function over 60 lines, from the first line of its signature to
  its closing brace (lambdas count toward the function holding them);
- no folder with more than 28 sources of its own, headers included: twelve
  or so translation units with their headers and a few header-only types;
- src/ includes the provider only through its door, providers/include/;
  base/ includes nothing of src/ or providers/; providers/ nothing of src/;
- src/ calls no *ForTesting accessor (it may declare and define them).

Each checker takes the tree's root, so the same code runs on a planted tree
holding one breach per rule and on the real one."""

import os
import re
import tempfile
import unittest

ROOT = os.environ.get("DW_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", "..", ".."))
ROOMS = ("src", "base", "providers", "tests")
CODE = (".c", ".cpp", ".h")
MAX_LINES, MAX_FUNCTION, MAX_SOURCES = 400, 60, 28

NOISE = re.compile(r"""^[ \t]*\#(?:\\\n|[^\n])*|//[^\n]*|/\*.*?\*/
    |\b(?:u8|[uUL])?R"(?P<d>[^()\\\s]{0,16})\(.*?\)(?P=d)"|"(?:\\.|[^"\\\n])*"
    |(?:\b(?:u8|[uUL])|(?<![\w.]))'(?:\\.|[^'\\\n])+'""", re.M | re.S | re.X)
LABEL = re.compile(r"\b(?:(?:public|protected|private)(?:\s+(?:slots|Q_SLOTS))?|signals|Q_SIGNALS)\s*:(?!:)"
                   r"|\bQ_(?:OBJECT|GADGET)\b")
INCLUDE = re.compile(r'^[ \t]*#[ \t]*include[ \t]*[<"]([^">]+)[">]', re.M)
BRACE, STOP = re.compile(r"[{}]"), re.compile(r"[;{}]")
QUALIFIERS = r"(?:\s*(?:const|volatile|noexcept|override|final|mutable|throw|try|&&?)\s*\x01?)*"


def sources(root, endings=CODE):
    for room in ROOMS:
        for folder, _, files in os.walk(os.path.join(root, room)):
            for name in sorted(files):
                if name.endswith(endings):
                    yield os.path.relpath(os.path.join(folder, name), root)


def read(root, path):
    with open(os.path.join(root, path), encoding="utf-8") as f:
        return f.read()


def blanked(text):
    """`text` with comments, literals, preprocessor lines and access labels
    turned to spaces; newlines stay, so offsets and line numbers still hold."""
    spaces = lambda m: re.sub(r"[^\n]", " ", m.group())
    return LABEL.sub(spaces, NOISE.sub(spaces, text))


def closing(s, at):
    depth = 0
    for m in BRACE.finditer(s, at):
        depth += 1 if m.group() == "{" else -1
        if depth == 0:
            return m.start()
    return len(s) - 1


def kind(head):
    """What a `{` after `head` opens: a function body, a scope to look into,
    or braces to pass over (initialisers, lambdas outside functions)."""
    r = re.sub(r"\boperator\s*(?:\(\s*\)|\[\s*\]|[^\w\s(]+)", "operator_", head).replace("->", " ARROW ")
    before = None
    while before != r:
        before = r
        r = re.sub(r"<[^<>(){}]*>", "", re.sub(r"\{[^{}]*\}", "\x02", re.sub(r"\([^()]*\)", "\x01", r)))
    r = r.strip()
    if not r or re.search(r"[()=]|\]\s*\x01", r):
        return "skip"
    if re.search(r"\x01\s*(?:noexcept\s*\x01?\s*)?(?<!:):(?!:)", r):  # a constructor's initialiser list
        return "body" if r[-1] in "\x01\x02" else "skip"
    if re.search(r"\x01" + QUALIFIERS + r"\s*(?:ARROW[^;{}]*)?$", r):
        return "body"
    return "scope" if re.search(r"\b(?:namespace|class|struct|union|enum|extern)\b", r) else "skip"


def functions(text):
    """(first line, last line, name) of each function defined in C/C++ `text`."""
    s, found, head, pos = blanked(text), [], 0, 0
    while (m := STOP.search(s, pos)):
        at = m.start()
        what = kind(s[head:at]) if m.group() == "{" else "end"
        if what == "body":
            end, paren = closing(s, at), s.find("(", head, at)
            gaps = list(re.finditer(r"\n[ \t]*(?=\n)", s[head:paren]))
            start = head + (gaps[-1].end() if gaps else 0)
            start = re.compile(r"\s*").match(s, start).end()
            name = s[start:paren].split()[-1].lstrip("*&")
            if re.fullmatch(r"[A-Z_0-9]+", name):  # a test macro: its arguments name it
                name += " ".join(text[paren:s.find(")", paren) + 1].split())
            found.append((s.count("\n", 0, start) + 1, s.count("\n", 0, end) + 1, name))
            head = pos = end + 1
        elif what == "skip":
            pos = closing(s, at) + 1
        else:
            head = pos = at + 1
    return found


def long_files(root):
    return [f"{p}: {n} lines" for p in sources(root, CODE + (".py",))
            if (n := len(read(root, p).splitlines())) > MAX_LINES]


def long_functions(root):
    return [f"{p}:{first} {name}: {last - first + 1} lines" for p in sources(root)
            for first, last, name in functions(read(root, p)) if last - first + 1 > MAX_FUNCTION]


def crowded_folders(root):
    counts = {}
    for p in sources(root):
        counts[os.path.dirname(p)] = counts.get(os.path.dirname(p), 0) + 1
    return [f"{folder}: {n} sources" for folder, n in sorted(counts.items()) if n > MAX_SOURCES]


INCLUDE_ROOTS = ("", "src", "providers", os.path.join("providers", "include"))


def reaching_includes(root):
    """Includes crossing a line: src/ into the provider's private folders,
    base/ into src/ or providers/, providers/ into src/. A header reaches a
    folder if it names a file there from the including file's folder or from
    any include root, in whatever form."""
    refused = {"src": lambda tree, room: tree == "providers" and room != "include",
               "base": lambda tree, room: tree in ("src", "providers"),
               "providers": lambda tree, room: tree == "src"}
    found = []
    for p in (p for p in sources(root) if p.split(os.sep)[0] in refused):
        text = read(root, p)
        for m in INCLUDE.finditer(text):
            named = [os.path.normpath(os.path.join(base, m.group(1)))
                     for base in (os.path.dirname(p),) + INCLUDE_ROOTS]
            if any(n.split(os.sep)[0] in refused and os.path.isfile(os.path.join(root, n))
                   and refused[p.split(os.sep)[0]](*n.split(os.sep)[:2]) for n in named):
                found.append(f"{p}:{text.count(chr(10), 0, m.start()) + 1} includes {m.group(1)}")
    return found


def testing_calls(root):
    """Calls of *ForTesting accessors in src/: the name not after a type (as
    in its own declaration or definition) but after `.`, `->`, an operator,
    a keyword or a statement's start."""
    found = []
    for p in (p for p in sources(root) if p.startswith("src" + os.sep)):
        s = blanked(read(root, p))
        for m in re.finditer(r"((?:\w+\s*::\s*)*)(\w+ForTesting)\s*\(", s):
            before = s[:m.start()].rstrip()
            word = re.search(r"\w+$", before)
            declared = (word and word.group() not in ("return", "co_return", "throw", "else", "do", "case")) \
                or re.search(r"(?<![-&])(?:[>*]|&)$", before)
            if not declared:
                found.append(f"{p}:{s.count(chr(10), 0, m.start()) + 1} calls {m.group(2)}")
    return found


def function(name, lines, signature=""):
    """A C++ function of exactly `lines` lines, with a multi-line signature,
    a lambda, and braces in literals and comments that must not count."""
    body = ['  auto f = [](int x) {', '    return x + 1;', '  };', "  char c = '{';",
            '  const char* s = "}{";', '  // }', '  int y = f(c) + (s != nullptr);']
    body += ["  y += 1;"] * (lines - len(body) - 4 - signature.count("\n"))
    return "\n".join([f"// {name} holds ", signature + f"int {name}(int a,", "    int b) const {"]
                     + body + ["  return y;", "}", ""])


PLANTED = {
    "src/app/Long.cpp": "// filler\n" * 401,
    "src/app/Short.cpp": "// filler\n" * 400,
    "src/app/Functions.cpp": "namespace app {\n\n" + function("Widget::tooLong", 61) + "\n"
    + function("Widget::justRight", 60, "[[nodiscard]]\n") + "\nWidget::Widget() : a_{1}, b_(2) {\n}\n}\n",
    "src/app/Reach.cpp": "\n".join(f"#include {h}" for h in (
        '"backendkit/Backend.h"', '<entry/Detect.h>', '"x11/X11Backend.h"', '"providers/backendkit/Backend.h"',
        '"../../providers/backendkit/Backend.h"', '"../providers/x11/X11Backend.h"',
        '"duskwarden/nightlight.h"', '"providers/include/duskwarden/nightlight.h"', '<vector>',
        '"platform/log/Logger.h"', '"base/loader/Library.h"')) + "\n",
    "src/update/Calls.cpp": "int Widget::countForTesting() const { return n_; }\n"
    "bool isReadyForTesting();\nQMenu* shownMenuForTesting() const;\n"
    "void use(Widget& w) {\n  log(w.countForTesting());\n}\n",
    **{h: "" for h in ("src/platform/log/Logger.h", "src/update/Version.h", "providers/x11/X11Backend.h",
                       "providers/entry/Detect.h", "providers/backendkit/Backend.h", "providers/backendkit/Log.h",
                       "providers/include/duskwarden/nightlight.h", "base/xdg/Xdg.h")},
    "base/loader/Library.cpp": '#include "base/xdg/Xdg.h"\n#include "platform/log/Logger.h"\n'
    '#include "duskwarden/nightlight.h"\n#include <string>\n',
    "providers/x11/X11Backend.cpp": '#include "backendkit/Log.h"\n#include "update/Version.h"\n'
    '#include "duskwarden/nightlight.h"\n',
    "tests/unit/app/WidgetTest.cpp": "TEST(Widget, Counts) {\n  EXPECT_EQ(w.countForTesting(), 1);\n}\n",
    **{f"src/crowded/Part{i}.h": "" for i in range(29)},
    **{f"src/full/Part{i}.h": "" for i in range(28)},
}


class PlantedBreaches(unittest.TestCase):
    """Each checker reports exactly the breach planted for it, and nothing of
    the clean samples beside it (a 400-line file, a 60-line function, 28
    sources, the allowed includes, declarations of accessors, a test's call)."""

    def test_each_rule_reports_its_planted_breach(self):
        cases = [
            (long_files, ["src/app/Long.cpp: 401 lines"]),
            (long_functions, ["src/app/Functions.cpp:4 Widget::tooLong: 61 lines"]),
            (crowded_folders, ["src/crowded: 29 sources"]),
            (reaching_includes, [f"src/app/Reach.cpp:{n} includes {h}" for n, h in enumerate((
                "backendkit/Backend.h", "entry/Detect.h", "x11/X11Backend.h", "providers/backendkit/Backend.h",
                "../../providers/backendkit/Backend.h", "../providers/x11/X11Backend.h"), 1)]
             + ["base/loader/Library.cpp:2 includes platform/log/Logger.h",
                "base/loader/Library.cpp:3 includes duskwarden/nightlight.h",
                "providers/x11/X11Backend.cpp:2 includes update/Version.h"]),
            (testing_calls, ["src/update/Calls.cpp:5 calls countForTesting"]),
        ]
        with tempfile.TemporaryDirectory() as root:
            for path, text in PLANTED.items():
                os.makedirs(os.path.dirname(os.path.join(root, path)), exist_ok=True)
                with open(os.path.join(root, path), "w", encoding="utf-8") as f:
                    f.write(text)
            for checker, expected in cases:
                with self.subTest(checker.__name__):
                    self.assertEqual(sorted(checker(root)), sorted(expected))


class HouseRules(unittest.TestCase):
    def test_the_tree_keeps_the_house_rules(self):
        for checker, advice in [(long_files, "split them along what they hold"),
                                (long_functions, "split them along what they do"),
                                (crowded_folders, "give them rooms"),
                                (reaching_includes, "src/ reaches the provider only through providers/include/; "
                                 "base/ is below both, providers/ below src/"),
                                (testing_calls, "accessors for tests are for tests")]:
            with self.subTest(checker.__name__):
                self.assertEqual(checker(ROOT), [], advice)


if __name__ == "__main__":
    unittest.main(verbosity=2)
