# The HuiTouKe platform end to end: huitouke-sim on a free loopback port with demo members,
# the host database's platform row (address type H) pointed at it, and membersys calling the
# package's platform client: a member's cards, then a card's records with the operators' names.
set -euo pipefail
app=$(mktemp -d)
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$app"
}
trap cleanup EXIT
build/bin/membersys --app-dir "$app" init-db --seed
printf '[WSDLCONFIGURE]\nADDRESSTYPE=H\n' > "$app/QUORLZELCLIENT.LIC"
# Merchant and key of node N001's platform row in the demo data.
build/bin/huitouke-sim --port 0 --db "$app/htk.db" --key demo-htk-key-N001 --merchant DEMO-SBS-0001 \
  --seed > "$app/sim.out" &
sim_pid=$!
for _ in $(seq 50); do grep -q '^listening on' "$app/sim.out" 2>/dev/null && break; sleep 0.1; done
port=$(sed -n 's/^listening on //p' "$app/sim.out")
[ -n "$port" ] || { echo "huitouke-sim did not start" >&2; exit 1; }
sqlite3 "$app/membersys.db" \
  "UPDATE QUORL_SOAPSERVER_ADDRESS SET SOAP_ADDR = 'http://127.0.0.1:$port/api/' WHERE ADDRESSTYPE = 'H'"
echo "-- platform on port $port; cards of the member with mobile 13912345678"
build/bin/membersys --app-dir "$app" htk cards 13912345678 123456
echo "-- the same lookup by card number, as JSON"
build/bin/membersys --app-dir "$app" htk cards 8600000002 654321 --json
echo "-- top-ups and purchases of card 8600000001 in January 2024"
build/bin/membersys --app-dir "$app" htk records 8600000001 0 2024-01-01 2024-01-31
echo "-- a wrong password finds nothing"
build/bin/membersys --app-dir "$app" htk cards 13912345678 000000 || true
