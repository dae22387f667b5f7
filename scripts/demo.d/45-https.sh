# Outside a test bench both back ends are reached over networks the box office
# does not own, so the till speaks HTTPS and verifies every certificate. Here a
# CA made for the demo signs a certificate for 127.0.0.1; a second pair of the
# local services serves HTTPS only with it, and QUORLZELCLIENT.LIC names that CA
# (TLSCAFILE). Then one refusal: a till that trusts only the system's CAs, and
# the reason it gives. Everything changed here is put back for the next steps.
set -euo pipefail
pki="$demo/pki"
mkdir -p "$pki"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 -subj "/CN=Demo Site CA" \
  -keyout "$pki/ca.key" -out "$pki/ca.pem" 2>/dev/null
openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj "/CN=127.0.0.1" \
  -keyout "$pki/server.key" -out "$pki/server.csr" 2>/dev/null
printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\n' > "$pki/server.ext"
openssl x509 -req -in "$pki/server.csr" -CA "$pki/ca.pem" -CAkey "$pki/ca.key" -CAcreateserial -days 2 \
  -extfile "$pki/server.ext" -out "$pki/server.pem" 2>/dev/null
echo "-- demo CA and a server certificate for 127.0.0.1 made with openssl"
start_service "$demo/tm-tls.log" build/bin/ticketmanage-sim --port 0 --db "$demo/tm-tls.db" --seed \
  --tls-cert "$pki/server.pem" --tls-key "$pki/server.key"
tls_tm_pid=$pid tls_tm_url="https://127.0.0.1:$port/services/TicketManage"
start_service "$demo/htk-tls.log" build/bin/huitouke-sim --port 0 --db "$demo/htk-tls.db" \
  --key demo-htk-key-N001 --merchant DEMO-SBS-0001 --seed --tls-cert "$pki/server.pem" --tls-key "$pki/server.key"
tls_htk_pid=$pid tls_htk_url="https://127.0.0.1:$port/api/"
echo "-- HTTPS only: web service at $tls_tm_url, platform at $tls_htk_url"

lic="$till/QUORLZELCLIENT.LIC"
cp "$lic" "$demo/lic-before-https"
ms addresses --set G "$tls_tm_url" --wsdl "$tls_tm_url?wsdl" >/dev/null
ms addresses --set H "$tls_htk_url" >/dev/null
printf 'TLSCAFILE=%s\n' "$pki/ca.pem" >> "$lic"
echo "-- QUORLZELCLIENT.LIC:"
sed -n '/WSDLCONFIGURE/,$p' "$lic"
echo "-- N over HTTPS: web service, card 8800000001"
ms lookup N --member-num 8800000001
echo "-- H over HTTPS: platform, mobile 13912345678"
ms addresses --use H >/dev/null
ms lookup H --member-num 13912345678 --password 123456
echo "-- a purchase charged on the platform over HTTPS"
ms post-htk sbs_id= store_id= card_no=8600000002 order_no=DEMO-TLS-1 money=5.00 points=5 emp_no=1001 2>&1 ||
  echo "(exit $?)"

echo "-- refused: a till without TLSCAFILE trusts only the system's CAs"
cp "$demo/lic-before-https" "$lic"
ms lookup N --member-num 8800000001 2>&1 || echo "(exit $?)"
echo "-- the same refusal from the ticketmanage tool"
build/bin/ticketmanage "$tls_tm_url" getSurplus 8800000001 2>&1 || echo "(exit $?)"
echo "-- a purchase on the platform is refused the same way: the cashier sees the warning,"
echo "   nothing is charged, and the journal keeps the reason"
ms addresses --use H >/dev/null
ms post-htk sbs_id= store_id= card_no=8600000002 order_no=DEMO-TLS-2 money=5.00 points=5 emp_no=1001 2>&1 ||
  echo "(exit $?)"
ms journal --json | grep DEMO-TLS-2 | grep -o '"state": "[^"]*"\|"error": "[^"]*"'
cp "$demo/lic-before-https" "$lic"

echo "-- back to plain HTTP on loopback for the rest of the session"
ms addresses --set G "$tm_url" --wsdl "$tm_url?wsdl" >/dev/null
ms addresses --set H "http://127.0.0.1:$htk_port/api/" >/dev/null
for p in "$tls_tm_pid" "$tls_htk_pid"; do kill "$p"; wait "$p" 2>/dev/null || true; done
