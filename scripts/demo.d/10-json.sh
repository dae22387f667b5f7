# A platform-like answer with Chinese text, read by the package's JSON unit and written
# back readable: the lenient parse (a missing comma, a trailing comma), \u escapes turned into
# UTF-8, numbers with at most 15 significant digits, and the escaped slash.
set -euo pipefail
printf '%s' '{"code":"A00006","total":"1" "member":{"realname":"\u5f20\u4e09","mobile":"13800138000"},
 "data":[{"card_no":"8800001","user_balance":1288.50,"user_rank_name":"金卡","site":"http://example.com/v"},],
 "rate":0.1234567890123456789}' | build/bin/vxjson readable | tr -d '\r'
echo
