#!/usr/bin/env bash
# Signed copies of the test launchers for the self-update signature tests, made here with
# throwaway keys: publishers A and B hold certificates of the same name from the same
# test authority, so only their keys tell them apart.
#   sign_test_launchers.sh <build folder>   ->  <build folder>/signed-launchers/
set -euo pipefail
build="$(cd "$1" && pwd)"
source_dir="$(cd "$(dirname "$0")/../.." && pwd)"
out="$build/signed-launchers"
rm -rf "$out" && mkdir -p "$out" && cd "$out"
# RSA: Wine checks the certificates' own signatures only for RSA keys.
new_key="-newkey rsa:2048 -nodes -days 2"
openssl req -x509 $new_key -keyout authority.key -out authority.pem -subj "/CN=Hollowmere Test Signing Authority" 2>/dev/null
echo "throwaway password" >password.txt
for publisher in A B; do
  openssl req -x509 $new_key -keyout "$publisher.key" -out "$publisher.pem" -subj "/CN=Hollowmere Test Publisher" \
    -CA authority.pem -CAkey authority.key -addext basicConstraints=CA:FALSE -addext extendedKeyUsage=codeSigning \
    -addext keyUsage=digitalSignature 2>/dev/null
  openssl pkcs12 -export -inkey "$publisher.key" -in "$publisher.pem" -certfile authority.pem -out "$publisher.p12" \
    -passout file:password.txt
done
sign() {  # sign <publisher> <source> <name>
  cp "$2" "$3" && "$source_dir/scripts/sign-file.sh" "$1.p12" password.txt "" "$3"
}
sign A "$build/HollowmereLauncher.exe" running-A.exe
sign A "$build/next-launcher/HollowmereLauncher.exe" next-A.exe
sign B "$build/next-launcher/HollowmereLauncher.exe" next-B.exe
# Signed, then one byte of its code changed: the signature no longer covers the file.
sign A "$build/next-launcher/HollowmereLauncher.exe" next-A-changed.exe
offset=$(( $(stat -c %s next-A-changed.exe) / 2 ))
byte=$(dd if=next-A-changed.exe bs=1 skip=$offset count=1 2>/dev/null | od -An -tu1 | tr -d ' ')
printf "$(printf '\\%03o' $(( (byte + 1) % 256 )))" | dd of=next-A-changed.exe bs=1 seek=$offset conv=notrunc 2>/dev/null
cmp -s next-A.exe next-A-changed.exe && { echo "the changed copy did not change" >&2; exit 1; }
echo "signed test launchers in $out"
