# The till window: the same till folder driven by quorl-till, off screen. The
# web service was stopped by the step before, so a fresh one is started and
# the address row pointed at it; then the window's scripted tour looks member
# 1001 up, sells two lines, waits for the receipt, runs today's report and
# keeps a screenshot of each page.
set -euo pipefail
start_service "$demo/tm2.log" build/bin/ticketmanage-sim --port 0 --db "$demo/tm2.db" --seed
tm2_url="http://127.0.0.1:$port/services/TicketManage"
ms addresses --set G "$tm2_url" --wsdl "$tm2_url?wsdl" >/dev/null
ms addresses --use G >/dev/null
# The till's own settings file: folder, host database, node, group, mode.
cat > "$demo/till.ini" <<INI
[till]
appdir=$till
database=$till/membersys.db
node=N001
group=G01
mode=N
operator=1001
orderprefix=DEMO-TILL
nextorder=1
INI
screens="$(pwd)/build/demo-output/till"
echo "-- quorl-till --tour 8800000001: lookup, two lines, 结算 with receipt, report"
QT_QPA_PLATFORM=offscreen build/bin/quorl-till --settings "$demo/till.ini" --tour 8800000001 \
  --screenshots "$screens" | sed "s|^$screens/|   screenshot: build/demo-output/till/|"
echo "-- the till's next order number: $(sed -n 's/^nextorder=//p' "$demo/till.ini")"
