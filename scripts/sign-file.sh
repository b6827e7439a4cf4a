#!/usr/bin/env bash
# Signs Windows executables in place with Authenticode (SHA-256) through osslsigncode.
#   scripts/sign-file.sh <certificate.p12> <password file> <timestamp URL or ""> <file>...
# The password is read from its file, so it never shows in a process list.
set -euo pipefail
[ $# -ge 4 ] || { echo "usage: sign-file.sh <certificate.p12> <password file> <timestamp URL or \"\"> <file>..." >&2; exit 2; }
pkcs12="$1" password_file="$2" timestamp="$3"
shift 3
for file in "$@"; do
  args=(sign -pkcs12 "$pkcs12" -readpass "$password_file" -h sha256 -n "Hollowmere Launcher")
  [ -z "$timestamp" ] || args+=(-ts "$timestamp")
  rm -f "$file.signed"
  if ! osslsigncode "${args[@]}" -in "$file" -out "$file.signed" >/dev/null; then
    rm -f "$file.signed"
    echo "sign-file.sh: could not sign $file" >&2
    exit 1
  fi
  mv -f "$file.signed" "$file"
done
