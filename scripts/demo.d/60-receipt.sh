# The receipt: a purchase posted with --print starts the print application,
# which reads MemberPrint_vrisk/Print.xml and writes a PDF and a 48-column text
# receipt into MemberPrint_vrisk/receipts/. The till does not wait for it; the
# demo waits a moment for its two lines. The till's folder goes with the
# session: both receipts are kept in build/demo-output/.
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
[ -n "$pdf" ] || { echo "no PDF receipt: $(cat "$till/MemberPrint_vrisk/PrintApp.log" 2>/dev/null)" >&2; exit 1; }
mkdir -p build/demo-output
cp "$pdf" build/demo-output/receipt.pdf
cp "$txt" build/demo-output/receipt.txt
echo "PDF receipt:  ${pdf#"$till/"} ($(stat -c %s "$pdf") bytes), kept as build/demo-output/receipt.pdf"
echo "text receipt: ${txt#"$till/"}, kept as build/demo-output/receipt.txt"
cat "$txt"
