# At the gate: the web service's check-ticket answers for a card, bound to the
# package's check-ticket document (member values, then each booking), and the
# same answer as the service sends it.
set -euo pipefail
echo "-- member information for card 8800000001"
ms member-info 8800000001
echo "-- check-ticket answer for card 8800000004, as JSON"
ms surplus 8800000004 --json
echo "-- the raw answer of the service (ticketmanage tool)"
build/bin/ticketmanage "$tm_url" getSurplus 8800000004; echo
