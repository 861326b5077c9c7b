#!/bin/sh
# Makes a throwaway certificate authority and, signed by it, a server certificate for
# localhost and 127.0.0.1, for a local HTTPS registration server in a demo or a benchmark:
#
#     tools/make_certificates.sh DIR
#
# leaves DIR/ca.pem (to trust, e.g. through SSL_CERT_FILE), DIR/server.pem and DIR/server.key
# (for tools/registration_server.py --tls-cert/--tls-key). The keys are EC (P-256), quick to
# make; the certificates are valid for two days. The openssl command's chatter goes to
# DIR/openssl.log.
set -eu
dir=$1
mkdir -p "$dir"
cd "$dir"
exec 2>openssl.log
ec="-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
openssl req -x509 $ec -keyout ca.key -out ca.pem -days 2 -subj "/CN=Throwaway registration CA"
openssl req -new $ec -keyout server.key -out server.csr -subj /CN=localhost
echo "subjectAltName=DNS:localhost,IP:127.0.0.1" > server.ext
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
    -extfile server.ext -out server.pem
