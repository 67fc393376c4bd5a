#!/usr/bin/env bash
# Prints the Base64 of the raw 32-byte public key of an Ed25519 private key (PEM).
set -euo pipefail
key=${1:?usage: update-public-key.sh <private-key.pem>}
# The DER form of an Ed25519 public key ends with the 32 raw key bytes.
openssl pkey -in "$key" -pubout -outform DER | tail -c 32 | base64 -w0
echo
