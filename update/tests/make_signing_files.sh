#!/usr/bin/env bash
# The files that the device tests of signed updates read, made with OpenSSL
# when the tests run (no private key is ever kept in the tree, nor handed to
# a device): the public keys of two key pairs as OpenSSL writes them for
# CryptoAPI, and for each NAME=INSTALLER a package NAME.dat (made by
# make_test_package) with its signatures by either key, NAME.sig (key a)
# and NAME.b.sig (key b), each as `openssl dgst -sha256 -sign` writes it.
#   make_signing_files.sh OUT MAKE_TEST_PACKAGE NAME=INSTALLER...
set -euo pipefail
out=$1 maker=$2
shift 2
rm -rf "$out"
mkdir -p "$out"
keys=$(mktemp -d)
trap 'rm -rf "$keys"' EXIT
openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:3072 -out "$keys/a.pem" 2>/dev/null
openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:3072 -out "$keys/b.pem" 2>/dev/null
for key in a b; do
  openssl rsa -in "$keys/$key.pem" -pubout -outform MSBLOB -out "$out/$key.key" 2>/dev/null
done
for pair in "$@"; do
  name=${pair%%=*}
  "$maker" "$out/$name.dat" "${pair#*=}"
  openssl dgst -sha256 -sign "$keys/a.pem" -out "$out/$name.sig" "$out/$name.dat"
  openssl dgst -sha256 -sign "$keys/b.pem" -out "$out/$name.b.sig" "$out/$name.dat"
done
