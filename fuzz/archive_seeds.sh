#!/usr/bin/env bash
# Seeds of the archive fuzzer: small real archives, made with gcab (stored
# and MSZIP cabinets) and python3's zipfile (stored, deflated, with sizes
# after the data, behind a program, nested). Fills CORPUS only when empty.
#   fuzz/archive_seeds.sh CORPUS
set -euo pipefail
corpus=$1
mkdir -p "$corpus"
[ -z "$(ls -A "$corpus")" ] || exit 0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
printf 'MZHEAD and a clean start' > a.exe
{ head -c 2000 /dev/zero | tr '\0' 'x'; printf 'ALPHA-ONE'; } > b.txt
printf 'ZZ' > c
gcab -c s.cab a.exe b.txt c
gcab -c -z m.cab a.exe b.txt
python3 - <<'PY'
import zipfile, io
def make(path, method, names, prefix=b''):
    with open(path, 'wb') as f:
        f.write(prefix)
        with zipfile.ZipFile(f, 'w', method) as z:
            for n in names:
                z.write(n, 'dir/' + n)
make('s.zip', zipfile.ZIP_STORED, ['a.exe', 'b.txt'])
make('d.zip', zipfile.ZIP_DEFLATED, ['a.exe', 'b.txt', 'c'])
make('sfx.zip', zipfile.ZIP_DEFLATED, ['b.txt'], b'MZ' + b'\0' * 300)
make('nested.zip', zipfile.ZIP_DEFLATED, ['m.cab', 'd.zip'])
class Pipe(io.RawIOBase):
    def __init__(self): self.data = bytearray()
    def writable(self): return True
    def write(self, b): self.data += b; return len(b)
p = Pipe()
with zipfile.ZipFile(p, 'w', zipfile.ZIP_DEFLATED) as z:
    z.write('b.txt')
open('stream.zip', 'wb').write(bytes(p.data))
PY
gcab -c -z nested.cab d.zip s.cab
cp s.cab m.cab s.zip d.zip sfx.zip nested.zip stream.zip nested.cab "$corpus/"
