# The receipt: a purchase posted with --print starts the print application,
# which reads MemberPrint_vrisk/Print.xml and writes a PDF and a 48-column text
# receipt into MemberPrint_vrisk/receipts/. The till does not wait for it; the
# demo waits a moment for its two lines.
set -euo pipefail
sed 's/DEMO-0001/DEMO-0002/; s/"CL_WareNum": 2/"CL_WareNum": 1/; s/80\.00/40.00/g' \
  "$demo/purchase.json" > "$demo/purchase2.json"
echo "-- one more ticket for member 1001, posted with --print"
ms post "$demo/purchase2.json" --print > "$demo/print.out"
for _ in $(seq 100); do [ "$(grep -c . "$demo/print.out")" -ge 3 ] && break; sleep 0.1; done
head -1 "$demo/print.out"
pdf=$(grep '\.pdf$' "$demo/print.out" || true)
txt=$(grep '\.txt$' "$demo/print.out" || true)
[ -n "$txt" ] || { echo "no receipt: $(cat "$till/MemberPrint_vrisk/PrintApp.log" 2>/dev/null)" >&2; exit 1; }
echo "PDF receipt:  ${pdf#"$till/"} ($(stat -c %s "$pdf") bytes)"
echo "text receipt: ${txt#"$till/"}"
cat "$txt"
