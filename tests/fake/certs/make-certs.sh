#!/usr/bin/env bash
# Regenerates the test certificates of the fake resolver. The outputs are
# committed; run this only when they must change. No CA key is kept: each run
# makes fresh ones, so nothing can be signed with these CAs afterwards.
#
#   ca.pem                     the test CA that clients are told to trust
#   server.pem, server.key     127.0.0.1 / localhost / resolver.velmora.test /
#                              api.velmora.cn (the built-in resolver host, for a
#                              package installed in a throwaway root:
#                              tests/package/play-installed.sh), signed by ca.pem
#   foreign-ca.pem             an unrelated CA
#   foreign.pem, foreign.key   the same names, signed by foreign-ca.pem
#
# Validity is fixed (2020 to 2120) rather than "from now" so that a machine
# whose clock runs behind still accepts them.
set -euo pipefail
cd "$(dirname "$0")"

start=20200101000000Z
end=21200101000000Z
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/ca.cnf" <<'CNF'
[ca]
default_ca = test_ca
[test_ca]
dir = .
database = $ENV::CA_DB
new_certs_dir = $ENV::CA_OUT
serial = $ENV::CA_SERIAL
default_md = sha256
policy = any
unique_subject = no
copy_extensions = none
[any]
organizationName = supplied
commonName = supplied
[v3_ca]
basicConstraints = critical,CA:TRUE,pathlen:0
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
[v3_server]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature,keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = IP:127.0.0.1,DNS:localhost,DNS:resolver.velmora.test,DNS:api.velmora.cn
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
CNF

newkey() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1" 2>/dev/null; }

# sign NAME SIGNER_CERT SIGNER_KEY EXTENSIONS [-selfsign]
sign() {
    local db="$work/$1.db"
    mkdir -p "$db.out"
    : >"$db"
    openssl rand -hex 16 >"$db.serial"
    CA_DB="$db" CA_OUT="$db.out" CA_SERIAL="$db.serial" \
        openssl ca -batch -notext -config "$work/ca.cnf" -startdate "$start" -enddate "$end" \
        -extensions "$4" -keyfile "$3" ${2:+-cert "$2"} ${5:-} \
        -in "$work/$1.csr" -out "$1.pem" 2>/dev/null
}

# make_ca NAME SUBJECT
make_ca() {
    newkey "$work/$1.key"
    openssl req -new -key "$work/$1.key" -subj "$2" -out "$work/$1.csr"
    sign "$1" "" "$work/$1.key" v3_ca -selfsign
}

# make_server NAME CA SUBJECT
make_server() {
    newkey "$1.key"
    openssl req -new -key "$1.key" -subj "$3" -out "$work/$1.csr"
    sign "$1" "$2.pem" "$work/$2.key" v3_server
}

make_ca ca "/O=Velmora Tests/CN=Velmora Test CA"
make_server server ca "/O=Velmora Tests/CN=127.0.0.1"
make_ca foreign-ca "/O=Elsewhere/CN=Foreign Test CA"
make_server foreign foreign-ca "/O=Elsewhere/CN=127.0.0.1"
chmod 644 ./*.key

openssl verify -CAfile ca.pem server.pem
openssl verify -CAfile foreign-ca.pem foreign.pem
