#!/usr/bin/env bash
# Makes the test PKI in <outdir> (created if missing; earlier files there are replaced).
# Keys are made anew on each run and never committed. EC P-256 keeps it fast.
#
# Files written (PEM):
#   ca.crt ca.key                     test CA
#   broker.crt broker.key             broker, SAN 127.0.0.1 + localhost, from the test CA
#   server.crt server.key             HTTPS simulator, SAN 127.0.0.1 + localhost, from the test CA
#   mobile_app.crt mobile_app.key     the client's certificate and key, from the test CA
#   edge.crt edge.key                 the edge simulator's client certificate, from the test CA
#   expired.crt expired.key           a client certificate from the test CA that expired in 2020
#   other-ca.crt other-ca.key         a second CA, unrelated to the test CA
#   other-broker.crt other-broker.key broker, SAN 127.0.0.1 + localhost, from the unrelated CA
#   wrong-host-broker.crt .key        broker from the test CA for another name (wrong.example only)
#   expired-broker.crt .key           broker from the test CA, SAN 127.0.0.1 + localhost, expired in 2020
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 <outdir>" >&2
  exit 2
fi
out="$1"
mkdir -p "$out"
out="$(cd "$out" && pwd)"
work="$(mktemp -d "$out/.pki.XXXXXX")"
trap 'rm -rf "$work"' EXIT

umask 077

newkey() { # <keyfile>
  openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1" 2>/dev/null
}

cat > "$work/ext.cnf" <<'EOF'
[ca]
basicConstraints = critical, CA:true
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash

[server]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = IP:127.0.0.1, DNS:localhost
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid:always

[wronghost]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:wrong.example
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid:always

[client]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = clientAuth
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid:always
EOF

makeca() { # <name> <CN>
  newkey "$out/$1.key"
  openssl req -new -x509 -key "$out/$1.key" -out "$out/$1.crt" -days 365 -sha256 \
    -subj "/O=ZEL Test/CN=$2" -config "$work/ext.cnf" -extensions ca 2>/dev/null
}

issue() { # <ca> <name> <CN> <server|client>
  newkey "$out/$2.key"
  openssl req -new -key "$out/$2.key" -out "$work/$2.csr" -subj "/O=ZEL Test/CN=$3" 2>/dev/null
  openssl x509 -req -in "$work/$2.csr" -CA "$out/$1.crt" -CAkey "$out/$1.key" \
    -set_serial "0x$(openssl rand -hex 8)" -days 365 -sha256 \
    -extfile "$work/ext.cnf" -extensions "$4" -out "$out/$2.crt" 2>/dev/null
}

makeca ca "ZEL Test CA"
issue ca broker "localhost" server
issue ca server "localhost" server
issue ca mobile_app "mobile_app" client
issue ca edge "edge-simulator" client
issue ca wrong-host-broker "wrong.example" wronghost

makeca other-ca "ZEL Unrelated CA"
issue other-ca other-broker "localhost" server

# openssl x509 cannot set a start date before now; openssl ca can.
mkdir -p "$work/db"
: > "$work/db/index.txt"
cat > "$work/ca.cnf" <<EOF
[ca]
default_ca = test
[test]
database = $work/db/index.txt
new_certs_dir = $work/db
certificate = $out/ca.crt
private_key = $out/ca.key
rand_serial = yes
default_md = sha256
policy = any
copy_extensions = none
x509_extensions = client
unique_subject = no
[any]
commonName = supplied
organizationName = optional
EOF
sed -n '/^\[server\]/,$p' "$work/ext.cnf" >> "$work/ca.cnf"
newkey "$out/expired.key"
openssl req -new -key "$out/expired.key" -out "$work/expired.csr" -subj "/O=ZEL Test/CN=mobile_app" 2>/dev/null
openssl ca -batch -notext -config "$work/ca.cnf" -in "$work/expired.csr" -out "$out/expired.crt" \
  -startdate 20200101000000Z -enddate 20200201000000Z 2>/dev/null
newkey "$out/expired-broker.key"
openssl req -new -key "$out/expired-broker.key" -out "$work/expired-broker.csr" -subj "/O=ZEL Test/CN=localhost" 2>/dev/null
openssl ca -batch -notext -config "$work/ca.cnf" -extensions server -in "$work/expired-broker.csr" \
  -out "$out/expired-broker.crt" -startdate 20200101000000Z -enddate 20200201000000Z 2>/dev/null

# Certificates are public; keys stay private to the owner (mosquitto is told to keep running as
# the caller, so it can still read them).
chmod 644 "$out"/*.crt
chmod 600 "$out"/*.key
echo "make-pki: wrote the test PKI to $out"
