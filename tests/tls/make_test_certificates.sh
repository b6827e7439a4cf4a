#!/usr/bin/env bash
# Makes the certificates of the stand-in service's HTTPS mode in a build folder:
#   make_test_certificates.sh DIR
# DIR/authority.pem: the test authority, "Hollowmere Test Authority",
#   which the tests trust inside their own Wine prefix only;
# DIR/server-key.pem: the one key of every server certificate below;
# DIR/good.pem: localhost, issued by the test authority;
# DIR/expired.pem: localhost, issued by the test authority, valid only in January 2020;
# DIR/other-host.pem: another host name, issued by the test authority;
# DIR/unknown-authority.pem: localhost, issued by an authority nobody trusts (its key
#   is thrown away).
# The files are kept while the authority and the good certificate have a day left, so
# the test authority stays the same from run to run. Nothing here is ever committed.
set -euo pipefail
dir="$1"
mkdir -p "$dir"
cd "$dir"

complete=1
for f in authority.pem server-key.pem good.pem expired.pem other-host.pem unknown-authority.pem; do
  [ -f "$f" ] || complete=0
done
if [ "$complete" = 1 ] && openssl x509 -in authority.pem -noout -checkend 86400 >/dev/null 2>&1 && \
   openssl x509 -in good.pem -noout -checkend 86400 >/dev/null 2>&1; then
  echo "test certificates in $dir are still good"
  exit 0
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# A small CA configuration: openssl ca is the one command that can date a certificate
# in the past, which the expired certificate needs.
make_ca() {  # folder subject
  mkdir -p "$1/issued"
  : >"$1/index.txt"
  cat >"$1/ca.cnf" <<EOF
[ca]
default_ca = test_ca
[test_ca]
database = $1/index.txt
new_certs_dir = $1/issued
serial = $1/serial
default_md = sha256
policy = any_name
unique_subject = no
[any_name]
commonName = supplied
[authority]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
EOF
  openssl rand -hex 16 >"$1/serial"
  openssl req -new -x509 -newkey rsa:2048 -nodes -keyout "$1/key.pem" -out "$1/cert.pem" -days 30 \
      -subj "/CN=$2" -config "$1/ca.cnf" -extensions authority 2>/dev/null
}

issue() {  # ca-folder host out-file start end
  cat >"$work/server.ext" <<EOF
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:$2
authorityKeyIdentifier = keyid
EOF
  openssl req -new -key server-key.pem -subj "/CN=$2" -out "$work/server.csr" 2>/dev/null
  openssl ca -batch -notext -config "$1/ca.cnf" -cert "$1/cert.pem" -keyfile "$1/key.pem" \
      -in "$work/server.csr" -out "$3" -startdate "$4" -enddate "$5" -extfile "$work/server.ext" 2>/dev/null
}

openssl genrsa -out server-key.pem 2048 2>/dev/null
make_ca "$work/trusted" "Hollowmere Test Authority"
make_ca "$work/unknown" "Hollowmere Unknown Authority"
now="$(date -u -d '-1 hour' +%Y%m%d%H%M%SZ)"
later="$(date -u -d '+30 days' +%Y%m%d%H%M%SZ)"
issue "$work/trusted" localhost good.pem "$now" "$later"
issue "$work/trusted" localhost expired.pem 20200101000000Z 20200201000000Z
issue "$work/trusted" elsewhere.hollowmere.test other-host.pem "$now" "$later"
issue "$work/unknown" localhost unknown-authority.pem "$now" "$later"
cp "$work/trusted/cert.pem" authority.pem
echo "made test certificates in $dir"
