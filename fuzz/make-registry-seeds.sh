#!/usr/bin/env bash
# Writes the seed store files of RegistryStoreFuzz with the sqlite3 tool: small stores
# (512-byte pages) in the layout the program uses, in both journal modes, one of a newer
# format, and files that are no store at all. Run again only to change the seeds.
set -euo pipefail
out="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/corpus/RegistryStoreFuzz"
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

schema="
PRAGMA page_size = 512;
CREATE TABLE keys (id INTEGER PRIMARY KEY,
  parent INTEGER REFERENCES keys(id) ON DELETE CASCADE, name TEXT NOT NULL COLLATE NOCASE);
CREATE UNIQUE INDEX keys_child ON keys(ifnull(parent, 0), name);
CREATE TABLE vals (key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,
  name TEXT NOT NULL COLLATE NOCASE, type INTEGER NOT NULL, data BLOB NOT NULL,
  PRIMARY KEY (key, name));
INSERT INTO keys(id, parent, name) VALUES (1, NULL, 'HKEY_CLASSES_ROOT'),
  (2, NULL, 'HKEY_CURRENT_USER'), (3, NULL, 'HKEY_LOCAL_MACHINE'), (4, NULL, 'HKEY_USERS'),
  (5, NULL, 'HKEY_CURRENT_CONFIG');
PRAGMA user_version = 1;"

settings="
INSERT INTO keys(id, parent, name) VALUES (6, 2, 'Software'), (7, 6, 'Halden Software'),
  (8, 7, 'Corvane'), (9, 8, 'Option'), (10, 9, 'General'), (11, 8, 'SendTo');
INSERT INTO vals VALUES
  (10, 'Top', 4, X'10000000'), (10, 'Left', 4, X'FFFFFFFF'), (10, 'Font_Size', 4, X'0800'),
  (10, 'Font_Name', 1, CAST('DejaVu Sans' || char(0) AS BLOB)),
  (10, '', 2, CAST('%HOME%' || char(0) || 'after' AS BLOB)),
  (8, 'Host', 1, CAST('mail.example.org:587' || char(0) AS BLOB)),
  (8, 'Port', 3, X'00FF'),
  (11, 'S0', 1, CAST('a@example.org' || char(0) AS BLOB)),
  (11, 'S1', 1, CAST('b@example.org' AS BLOB)),
  (11, 'Count', 7, X'');"

make() {  # make <name> <sql>
  sqlite3 "$work/$1" "$2" >/dev/null
  cp "$work/$1" "$out/$1"
}
make store-wal "$schema $settings PRAGMA journal_mode = WAL;"
make store-rollback-journal "$schema $settings"
make newer-format "$schema $settings PRAGMA user_version = 2;"
make fresh-schema-only "$schema"
make another-program "PRAGMA page_size = 512; CREATE TABLE notes (id INTEGER PRIMARY KEY, text TEXT);
  INSERT INTO notes(text) VALUES ('not a settings store');"
: > "$out/empty"
printf 'HKEY_CURRENT_USER\\Software\r\nnot a database at all\n' > "$out/text-file"
ls -l "$out"
