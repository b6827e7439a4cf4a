#!/bin/sh
# Files for the digest tests, with their SHA-256 computed by sha256sum rather than by
# the code under test. Sizes straddle the 1 MiB read buffer.
set -eu
out="$1"
mkdir -p "$out"
python3 -c 'import random, sys; sys.stdout.buffer.write(random.Random(1).randbytes(1048576))' >"$out/one-mib.bin"
python3 -c 'import random, sys; sys.stdout.buffer.write(random.Random(5).randbytes(5 * 1048576 + 123))' >"$out/five-mib.bin"
cd "$out"
sha256sum one-mib.bin five-mib.bin >digests.txt
