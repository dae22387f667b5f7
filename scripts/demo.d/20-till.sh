# The till opens: a fresh host database with the demo members, the print
# application installed beside it, and the two outside services started on free
# loopback ports (the TicketManage web service and the HuiTouKe platform). The
# address table is pointed at them: address type G is the web service, H the
# platform. Everything lives in a temporary folder and stops when the demo ends.
set -euo pipefail
demo=$(mktemp -d)
till="$demo/till"
service_pids=()
stop_services() {
  for pid in "${service_pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  service_pids=()
}
trap 'stop_services; rm -rf "$demo"' EXIT
# Starts a service that prints "listening on PORT" first; sets $port and $pid.
start_service() {
  local log=$1; shift
  "$@" > "$log" 2>&1 &
  pid=$!
  service_pids+=("$pid")
  port=""
  for _ in $(seq 100); do
    port=$(sed -n 's/^listening on //p' "$log")
    [ -n "$port" ] && return 0
    sleep 0.05
  done
  echo "$(basename "$1") did not start: $(cat "$log")" >&2
  return 1
}
ms() { build/bin/membersys --app-dir "$till" "$@"; }
# The print application draws off screen and wants a private runtime folder.
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$demo/xdg}"
mkdir -p -m 700 "$XDG_RUNTIME_DIR"

# The web service stalls on the answer to order DEMO-LOST-1 after charging it
# (the lost answer of step 75).
start_service "$demo/tm.log" build/bin/ticketmanage-sim --port 0 --db "$demo/tm.db" --seed \
  --stall-answer-to DEMO-LOST-1 --stall-seconds 2
tm_port=$port tm_pid=$pid
# Merchant and key of node N001's platform row in the demo data.
start_service "$demo/htk.log" build/bin/huitouke-sim --port 0 --db "$demo/htk.db" \
  --key demo-htk-key-N001 --merchant DEMO-SBS-0001 --seed
htk_port=$port
tm_url="http://127.0.0.1:$tm_port/services/TicketManage"
echo "-- web service on port $tm_port, platform on port $htk_port"

echo "-- host database with the demo members, print folder and print application"
ms init-db --seed
ms install-print
echo "-- address type G: the web service; H: the platform"
ms addresses --set G "$tm_url" --wsdl "$tm_url?wsdl" >/dev/null
ms addresses --set H "http://127.0.0.1:$htk_port/api/" >/dev/null
echo "-- QUORLZELCLIENT.LIC names G: the addresses this till now uses"
ms addresses --use G
