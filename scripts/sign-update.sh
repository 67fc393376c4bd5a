#!/usr/bin/env bash
# Signs an update archive with an Ed25519 private key (PEM) and prints the enclosure
# attributes for the feed: sparkle:edSignature="<Base64 of the 64-byte signature>" length="<bytes>"
set -euo pipefail
key=${1:?usage: sign-update.sh <private-key.pem> <archive>}
archive=${2:?usage: sign-update.sh <private-key.pem> <archive>}
signature=$(openssl pkeyutl -sign -rawin -inkey "$key" -in "$archive" | base64 -w0)
length=$(stat -c %s "$archive")
echo "sparkle:edSignature=\"$signature\" length=\"$length\""
