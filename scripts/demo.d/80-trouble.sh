# When it does not work out. A refusal (member 1002 has 12.50 left and wants
# 80.00) is "false" and nothing more; the cashier asks for another payment. A
# failure (the web service is gone) shows the package's warning to the cashier.
set -euo pipefail
sed 's/DEMO-0001/DEMO-0003/; s/"1001"/"1002"/' "$demo/purchase.json" > "$demo/overdraft.json"
echo "-- member 1002 (12.50 left) buys for 80.00: refused, no warning"
ms post "$demo/overdraft.json" 2>&1 || echo "(exit $?)"
echo "-- the web service stops; the next purchase fails with the package's warning"
kill "$tm_pid"; wait "$tm_pid" 2>/dev/null || true
sed 's/DEMO-0001/DEMO-0004/' "$demo/purchase.json" > "$demo/late.json"
ms post "$demo/late.json" 2>&1 || echo "(exit $?)"
