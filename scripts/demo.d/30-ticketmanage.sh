# The TicketManage web service end to end: ticketmanage-sim on a free loopback port with demo
# members, and the ticketmanage tool calling it through the package's SOAP client: a look-up,
# a purchase posted twice (charged once), its validation and the operator's report.
set -euo pipefail
dir=$(mktemp -d)
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$dir"
}
trap cleanup EXIT
build/bin/ticketmanage-sim --port 0 --db "$dir/tm.db" --seed > "$dir/sim.out" &
sim_pid=$!
for _ in $(seq 50); do grep -q '^listening on' "$dir/sim.out" 2>/dev/null && break; sleep 0.1; done
port=$(sed -n 's/^listening on //p' "$dir/sim.out")
[ -n "$port" ] || { echo "ticketmanage-sim did not start" >&2; exit 1; }
url="http://127.0.0.1:$port/services/TicketManage"
tm() { build/bin/ticketmanage "$@"; echo; }
echo "-- service on port $port; members of group G01 whose name holds 张 (bound through the WSDL)"
tm --wsdl "$url?wsdl" getUserInfo2 "" "" "张" "" "" "" "" G01
echo "-- card 8800000001 at the gate"
tm "$url" getSurplus 8800000001
doc='<?xml version="1.0" encoding="UTF-8"?><MemberConsume><MC_Time>2024-05-01 19:30:00</MC_Time><MC_PriceSum>80.00</MC_PriceSum><MC_CostType>会员卡</MC_CostType><MC_Cost>80.00</MC_Cost><MC_MemberID>1001</MC_MemberID><MC_Creater>1001</MC_Creater><MC_OrderCode>DEMO-0001</MC_OrderCode><MC_Group>G01</MC_Group><Consume><CL_PriceLevel>A</CL_PriceLevel><CL_WarePrice>40.00</CL_WarePrice><CL_WareNum>2</CL_WareNum><CL_CostSum>80.00</CL_CostSum></Consume></MemberConsume>'
echo "-- two tickets paid from the member account (1 = accepted), then the same order again"
tm "$url" ComsumeInfoPost "$doc"
tm "$url" ComsumeInfoPost "$doc"
echo "-- balance after: charged once"
tm "$url" getSurplus 8800000001 | grep -o 'memberBalance="[^"]*"'
echo "-- validation of the order, and of an order that does not exist"
tm "$url" CheckConsumeMoney DEMO-0001 1001 1001 ""
tm "$url" CheckConsumeMoney DEMO-9999 1001 1001 ""
echo "-- operator 1001's member payments on 2024-05-01"
tm "$url" getBalancerReport G01 1001 2024-05-01 2024-05-01
echo "-- an unknown operation is a usage error (exit 2)"
build/bin/ticketmanage "$url" dropTables 2>/dev/null || echo "exit $?"
