#!/usr/bin/env bash
# HTTPS with a certificate authority of the check's own, made here with the openssl tool: a certificate it signed
# stores the copy once the profile (CAFile=) or the environment names it, as curl's tool takes it; a self-signed, an
# expired or a wrong host's certificate fails as a certificate error, with its line in history.log. All on 127.0.0.1.
command -v openssl >/dev/null || { echo "no openssl"; exit 77; }
source "$(dirname "$0")/lib.sh" "$1"
unset CURL_CA_BUNDLE SSL_CERT_FILE SSL_CERT_DIR

certs=$work/certs; mkdir "$certs"
key() { openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout "$certs/$1.key" -subj "/CN=$1" "${@:2}"; }
signed() { # NAME DAYS SUBJECT-ALT-NAME
  key "$1" -out "$certs/$1.csr" && openssl x509 -req -in "$certs/$1.csr" -CA "$certs/ca.pem" -CAkey "$certs/ca.key" \
    -days "$2" -extfile <(echo "subjectAltName=$3") -out "$certs/$1.pem"
}
{ key ca -x509 -days 2 -out "$certs/ca.pem" && signed trusted 2 IP:127.0.0.1 && signed expired -1 IP:127.0.0.1 &&
  signed wronghost 2 DNS:example.org && key selfsigned -x509 -days 2 -addext subjectAltName=IP:127.0.0.1 \
  -out "$certs/selfsigned.pem"; } > "$work/openssl.log" 2>&1 || { cat "$work/openssl.log"; fail "certificates"; }

/usr/bin/python3 "$(dirname "$0")/server.py" "$work/tls" "$certs" trusted selfsigned expired wronghost &
wait_for test -s "$work/tls" || fail "no HTTPS server"
https() { echo "https://127.0.0.1:$(grep "^$1 " "$work/tls" | cut -d' ' -f2)"; }
ca=$certs/ca.pem

# The environment is the program's; the profile's CAFile comes before it.
while IFS='|' read -r name url vars keys status detail; do
  profile "$name" "$url" $keys
  env $vars timeout 30 "$program" --once --config "$work/$name" > "$work/$name.out" 2> "$work/$name.err"; rc=$?
  [ $rc = "$status" ] && [ "$(cut -f7 "$work/$name/history.log" | cut -c1-${#detail})" = "$detail" ] ||
    fail "$name: status $rc, history.log: $(cat "$work/$name/history.log")"
done <<TABLE
profile|$(https trusted)/a.txt|CURL_CA_BUNDLE=/nowhere|CAFile=$ca|0|$work/profile/save/a_
bundle|$(https trusted)/a.txt|CURL_CA_BUNDLE=$ca SSL_CERT_FILE=/nowhere||0|$work/bundle/save/a_
certfile|$(https trusted)/a.txt|SSL_CERT_FILE=$ca||0|$work/certfile/save/a_
system|$(https trusted)/a.txt|||1|curl 60 SSL certificate problem: unable to get local issuer certificate
selfsigned|$(https selfsigned)/a.txt||CAFile=$ca|1|curl 60 SSL certificate problem: self-signed certificate
expired|$(https expired)/a.txt||CAFile=$ca|1|curl 60 SSL certificate problem: certificate has expired
wronghost|$(https wronghost)/a.txt||CAFile=$ca|1|curl 60 SSL: no alternative certificate subject name matches
missing|$(https trusted)/a.txt||CAFile=$work/nowhere.pem|1|curl 77
redirect|$base/https/$(https trusted | cut -d: -f3)/r.txt||CAFile=$ca|0|$work/redirect/save/r_
TABLE
[ "$(cat "$work/redirect/save"/r_*.txt)" = /r.txt ] || fail "redirect: not the https server's body"
echo ok
