# A lost answer: the web service charges order DEMO-LOST-1 but its answer
# never reaches the till (the local service was started to stall on that
# order, and the till gives up after one quiet second). The cashier sees the
# package's warning; the journal holds the attempt as failed-uncertain;
# reconciliation asks the web service (CheckConsumeMoney) and settles it as
# charged, so nobody posts it again and the member pays once.
set -euo pipefail
lic="$till/QUORLZELCLIENT.LIC"
cp "$lic" "$demo/lic.saved"
printf 'HTTPSTALLBYTES=1\nHTTPSTALLSECONDS=1\n' >> "$lic"
sed 's/DEMO-0001/DEMO-LOST-1/' "$demo/purchase.json" > "$demo/lost.json"
echo "-- member 1001 buys for 80.00 (order DEMO-LOST-1); the answer is lost"
echo "balance before: $(balance)"
ms post "$demo/lost.json" 2>&1 || echo "(exit $?)"
cp "$demo/lic.saved" "$lic"
echo "balance now:    $(balance)   (charged, though the till was told it failed)"
echo "-- the journal: the attempt is failed-uncertain"
ms journal --state failed-uncertain
echo "-- membersys reconcile asks the web service and settles it"
ms reconcile || echo "(exit $?)"
ms journal --json | grep DEMO-LOST-1 | grep -o '"state": "[^"]*"\|"settlement": "[^"]*"'
echo "balance after:  $(balance)   (charged once; the order is not posted again)"
