#!/usr/bin/env python3
"""The menu entries, file types and icons the install adds, read as a desktop
would read them: each entry starts an installed program with the arguments it
takes, names an icon that exists at every installed size, and claims only
file types the package defines; each file type matches the files our
programs write.

    desktop_files_test.py SOURCE_DIR
"""
import configparser
import shutil
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

src = Path(sys.argv[1])
pkg = src / "packaging"
failures = []


def check(ok, what):
    print(("ok    " if ok else "FAIL  ") + what)
    if not ok:
        failures.append(what)


def png_size(path):
    data = path.read_bytes()[:24]
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        return None
    return struct.unpack(">II", data[16:24])


# The file types.
ns = {"m": "http://www.freedesktop.org/standards/shared-mime-info"}
types = {}
for t in ET.parse(pkg / "orvo-tools.xml").getroot().findall("m:mime-type", ns):
    types[t.get("type")] = t
check(set(types) == {"application/x-orvo-3da", "application/x-orvo-3di", "application/x-loamer-project"},
      "the package defines the 3DA, 3DI and terrain project types: %s" % sorted(types))
for name, suffix in [("application/x-orvo-3da", "*.3da"), ("application/x-orvo-3di", "*.3di"),
                     ("application/x-loamer-project", "*.tpj")]:
    t = types.get(name)
    globs = [g.get("pattern") for g in t.findall("m:glob", ns)] if t is not None else []
    check(globs == [suffix], "%s is matched by %s (%s)" % (name, suffix, globs))
    check(t is not None and t.find("m:comment", ns) is not None and t.find("m:comment", ns).text,
          "%s has a name to show" % name)
# A 3DA file is known by its first line, as the metafile writer starts it.
magic = types["application/x-orvo-3da"].find("m:magic/m:match", ns)
header = magic.get("value").encode()
for sample in sorted((src / "samples").rglob("*.3da")):
    check(sample.read_bytes().startswith(header), "%s starts with the 3DA magic" % sample.relative_to(src))

# The menu entries.
programs = {"orvo": False, "loamer": True}  # whether the program opens the file it is given
for program, takes_file in programs.items():
    path = pkg / (program + ".desktop")
    entry = configparser.ConfigParser(interpolation=None)
    entry.optionxform = str
    entry.read(path)
    d = entry["Desktop Entry"]
    check(d.get("Type") == "Application" and d.get("Name"), "%s: an application with a name" % path.name)
    exec_words = d.get("Exec", "").split()
    check(exec_words[:1] == [program], "%s starts %s" % (path.name, program))
    if takes_file:
        check(exec_words[1:] == ["%f"], "%s hands %s the one file opened" % (path.name, program))
    else:
        check(exec_words[1:] == [] and "MimeType" not in d,
              "%s: %s takes nothing from its command line, so it claims no file type" % (path.name, program))
    for mime in filter(None, d.get("MimeType", "").split(";")):
        check(mime in types, "%s claims %s, which the package defines" % (path.name, mime))
    icon = d.get("Icon")
    check((pkg / "icons" / (icon + ".svg")).is_file(), "%s: the scalable icon %s.svg" % (path.name, icon))
    for size in (48, 256):
        png = pkg / "icons" / ("%s-%d.png" % (icon, size))
        check(png.is_file() and png_size(png) == (size, size), "%s: the %d-pixel icon" % (path.name, size))
    if shutil.which("desktop-file-validate"):
        run = subprocess.run(["desktop-file-validate", str(path)], capture_output=True, text=True)
        check(run.returncode == 0 and not run.stdout.strip(), "%s passes desktop-file-validate %s" % (path.name, run.stdout))

print()
if failures:
    print("%d checks failed" % len(failures))
    sys.exit(1)
print("all checks passed")
