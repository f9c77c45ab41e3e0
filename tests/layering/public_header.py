# SPDX-License-Identifier: Apache-2.0
# The public header compiles alone with every warning an error, and what it and the engine
# headers it includes declare at file scope is namespace tarnflash and nothing else.
#   public_header.py COMPILER SOURCE_ROOT INCLUDE_DIR...
import os
import re
import subprocess
import sys
import tempfile

compiler, root, *includes = sys.argv[1:]
flags = ["-std=c++20", "-Wall", "-Wextra", "-Wpedantic", "-Werror"] + ["-I" + d for d in includes]
with tempfile.NamedTemporaryFile("w", suffix=".cpp") as unit:
    unit.write("#include <tarnflash/tarnflash.h>\n")
    unit.flush()
    subprocess.run([compiler, *flags, "-fsyntax-only", unit.name], check=True)
    text = subprocess.run([compiler, *flags, "-E", unit.name], check=True, capture_output=True, text=True).stdout

# Only the lines from the project's own files, without comments or preprocessor lines.
ours, own = [], False
for line in text.splitlines():
    marker = re.match(r'# \d+ "([^"]+)"', line)
    if marker:
        own = os.path.realpath(marker.group(1)).startswith(os.path.realpath(root) + os.sep)
    elif own:
        ours.append(line)
code = re.sub(r'"(\\.|[^"\\])*"', '""', "\n".join(ours))

depth, outside = 0, []
for token in re.finditer(r"namespace\s+tarnflash\s*\{|[{}]|[^{}\s]+", code):
    word = token.group(0)
    if word == "{" or word.startswith("namespace"):
        depth += 1
    elif word == "}":
        depth -= 1
    elif depth == 0:
        outside.append(word)
if outside:
    print("declared outside namespace tarnflash: " + " ".join(outside[:20]))
    sys.exit(1)
print("the public header: alone, warning-free, namespace tarnflash only")
