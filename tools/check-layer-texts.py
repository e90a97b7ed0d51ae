#!/usr/bin/python3
"""Fails when a sentence the window translates from the account and mail layers
(app/LayerTexts.cpp) is no longer written by any of them: a changed sentence would
otherwise stay in English without a word. A reason that stands after "HOST:PORT" (": ... .")
is looked for as the string literal its layer returns."""

import pathlib
import re
import sys

root = pathlib.Path(__file__).resolve().parent.parent
catalog = (root / "app" / "LayerTexts.cpp").read_text()
sentences = [text.encode().decode("unicode_escape")
             for text in re.findall(r'QT_TRANSLATE_NOOP\("LayerTexts",\s*"((?:[^"\\]|\\.)*)"\)', catalog)]
sources = "".join(path.read_text() for folder in ("mail", "account", "platform")
                  for pattern in ("*.cpp", "*.h") for path in sorted((root / folder).rglob(pattern)))
missing = []
for sentence in sentences:
    wanted = f'"{sentence[2:-1]}"' if sentence.startswith(": ") else f'"{sentence}"'
    if wanted not in sources:
        missing.append(sentence)
print(f"{len(sentences)} sentences, {len(missing)} no longer written by their layer")
for sentence in missing:
    print(f"  {sentence}")
sys.exit(1 if missing or not sentences else 0)
