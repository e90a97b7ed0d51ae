#!/usr/bin/python3
"""Fails when a sentence the window translates from the account and mail layers
(app/LayerTexts.cpp) is no longer written by any of them: a changed sentence would
otherwise stay in English without a word. Each part of a sentence between its %N is looked
for in the layers' sources as they spell it in a string literal; a reason that stands after
"HOST:PORT" (": ... .") as the literal its layer returns."""

import pathlib
import re
import sys

root = pathlib.Path(__file__).resolve().parent.parent
catalog = (root / "app" / "LayerTexts.cpp").read_text()
entries = re.findall(r'QT_TRANSLATE_NOOP\("LayerTexts",((?:\s*"(?:[^"\\]|\\.)*")+)\)', catalog)
sentences = ["".join(re.findall(r'"((?:[^"\\]|\\.)*)"', entry)) for entry in entries]
sources = "".join(path.read_text() for folder in ("mail", "account", "platform")
                  for pattern in ("*.cpp", "*.h") for path in sorted((root / folder).rglob(pattern)))
missing = []
for sentence in sentences:
    if sentence.startswith(": "):
        parts = [f'"{sentence[2:-1]}"']
    else:
        parts = [part for part in re.split(r"%[1-9]", sentence) if part]
    if not all(part in sources for part in parts):
        missing.append(sentence)
print(f"{len(sentences)} sentences, {len(missing)} no longer written by their layer")
for sentence in missing:
    print(f"  {sentence}")
sys.exit(1 if missing or not sentences else 0)
