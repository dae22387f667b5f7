# The member pays by card: the cashier opens the swipe-card dialog, the card
# (8800000002, on the simulated reader) is read with 读卡, the member types
# the password, and the card number and password digest go to the web
# service lookup. The dialog runs off screen; a screenshot of it, number
# shown, is kept in build/demo-output/.
set -euo pipefail
demo_out=build/demo-output
mkdir -p "$demo_out"
card_hex=$(printf '%s' '8800000002$$$$$$$$$$$$$$$$$$$$$$' | od -An -tx1 | tr -d ' \n')
cat > "$demo/card.txt" <<CARD
serial = 3735928559
key = 5a3e9c01b7d4
block13 = ${card_hex:0:32}
block14 = ${card_hex:32:32}
CARD
export QUORL_CARDREADER_CARD="$demo/card.txt" QUORL_CARDREADER_LOG="$demo/reader.log"
echo "-- the card on the reader holds 8800000002 padded with \$ (blocks 13 and 14)"
echo "-- swipe: read the card, type 123456, OK; then look the member up in N"
QT_QPA_PLATFORM=offscreen ms swipe --press-read --password 123456 \
  --screenshot "$demo_out/swipe-dialog.png" --ok --lookup N
echo "-- what the reader saw"
sed 's/^/   /' "$demo/reader.log"
echo "-- screenshot of the dialog: $demo_out/swipe-dialog.png"
