# A member steps up to the till. The cashier looks the member up in each back
# end the package knows: Y the host's own member accounts, N the web service,
# H the HuiTouKe platform (which also wants the member's password).
set -euo pipefail
echo "-- Y: host member accounts, name 张伟 (one row per card)"
ms lookup Y --name 张伟
echo "-- N: web service, card 8800000002, as JSON"
ms lookup N --member-num 8800000002 --json
echo "-- H: platform, mobile 13912345678 with password 123456 (QUORLZELCLIENT.LIC switched to H)"
ms addresses --use H >/dev/null
ms lookup H --member-num 13912345678 --password 123456
ms addresses --use G >/dev/null
