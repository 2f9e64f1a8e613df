#!/usr/bin/env bash
# Remakes the archives of real ZIP tools in this folder and, for each, the
# bytes that `unzip -p` gives for every file entry: NAME.zip and NAME.expected/I,
# I being the entry's position in the central directory. Needs Info-ZIP zip and
# unzip, 7z (Debian's p7zip-full) and python3. Run it from anywhere.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# The tree every tool packs: a small XPS-like package.
python3 - <<'PY'
import os, random
random.seed(5)
os.makedirs('Documents/1/Pages'); os.makedirs('Resources'); os.makedirs('empty')
open('FixedDocumentSequence.fdseq', 'w').write(
    '<FixedDocumentSequence xmlns="http://schemas.microsoft.com/xps/2005/06">\n'
    '  <DocumentReference Source="/Documents/1/FixedDocument.fdoc"/>\n</FixedDocumentSequence>\n')
open('Documents/1/FixedDocument.fdoc', 'w').write(
    '<FixedDocument>\n' + ''.join('  <PageContent Source="Pages/%d.fpage"/>\n' % i for i in (1, 2)) + '</FixedDocument>\n')
for i in (1, 2):
    open('Documents/1/Pages/%d.fpage' % i, 'w').write(
        '<FixedPage Width="816" Height="1056">\n' +
        ''.join('  <Glyphs OriginX="96" OriginY="%d" UnicodeString="Line %d of page %d"/>\n' % (96 + 20 * k, k, i)
                for k in range(60)) + '</FixedPage>\n')
open('Resources/noise.bin', 'wb').write(bytes(random.getrandbits(8) for _ in range(6000)))
open('Resources/zero.txt', 'w').close()
open('Résumé.txt', 'w').write('non-ASCII name\n')
PY
files=(FixedDocumentSequence.fdseq Documents Resources empty Résumé.txt)
export TZ=UTC
find . -exec touch -d '2024-05-06 07:08:10' {} +

zip -q -r -X infozip-deflated.zip "${files[@]}"
zip -q -r -X -0 -fz infozip-stored-zip64.zip "${files[@]}"
# A stub in front: as simply prepended (positions count from the archive's
# start), and after `zip -A` has moved the positions to count from the file's.
printf 'MZ stub of a self-extractor %.0s' {1..20} >stub.bin
cat stub.bin infozip-deflated.zip >infozip-prefixed.zip
cat stub.bin infozip-deflated.zip >infozip-prefix-adjusted.zip
zip -q -A infozip-prefix-adjusted.zip
zip -q -X - FixedDocumentSequence.fdseq Documents/1/FixedDocument.fdoc Resources/noise.bin | cat >infozip-streamed.zip
7z a -bd -tzip -mx=9 7z-deflated.zip "${files[@]}" >/dev/null
7z a -bd -tzip -mx=0 7z-stored.zip "${files[@]}" >/dev/null
python3 - <<'PY'
import io, zipfile

class Unseekable(io.RawIOBase):
    """A pipe-like sink: zipfile then writes data descriptors."""
    def __init__(self, f): self.f = f
    def writable(self): return True
    def write(self, b): return self.f.write(b)

def pack(z):
    z.write('FixedDocumentSequence.fdseq', compress_type=zipfile.ZIP_DEFLATED)
    z.write('Documents/1/FixedDocument.fdoc', compress_type=zipfile.ZIP_STORED)
    z.write('Documents/1/Pages/1.fpage', compress_type=zipfile.ZIP_DEFLATED, compresslevel=1)
    with z.open(zipfile.ZipInfo('Documents/1/Pages/2.fpage', (2024, 5, 6, 7, 8, 10)), 'w', force_zip64=True) as f:
        f.write(open('Documents/1/Pages/2.fpage', 'rb').read())
    info = zipfile.ZipInfo('Résumé.txt', (2024, 5, 6, 7, 8, 10))
    info.comment = b'entry comment'
    z.writestr(info, open('Résumé.txt', 'rb').read(), compress_type=zipfile.ZIP_DEFLATED)

with zipfile.ZipFile('python-zipfile.zip', 'w') as z:
    z.comment = b'archive comment from zipfile'
    pack(z)
with open('python-streamed.zip', 'wb') as raw, zipfile.ZipFile(Unseekable(raw), 'w') as z:
    pack(z)
PY

for archive in *.zip; do
  name=${archive%.zip}
  rm -rf "$here/$name.zip" "$here/$name.expected"
  cp "$archive" "$here/"
  mkdir "$here/$name.expected"
  python3 -c 'import sys, zipfile
for i, info in enumerate(zipfile.ZipFile(sys.argv[1]).infolist()):
    if not info.is_dir(): print(i, info.filename)' "$archive" |
  while read -r index entry; do
    unzip -p "$archive" "$entry" >"$here/$name.expected/$index"
  done
done
