# The member pays from the member account, once through each back end. Every
# purchase is posted twice, as a till does after a time-out: the balance drops
# once. Then the web service confirms the order.
set -euo pipefail
cat > "$demo/purchase.json" <<'JSON'
{"MC_Time": "2024-05-01 19:30:00", "MC_PriceSum": "80.00", "MC_Cost": "80.00", "MC_CostType": "会员卡",
 "MC_MemberID": "1001", "MC_UserName": "张伟", "MC_Creater": "1001", "MC_OrderCode": "DEMO-0001",
 "MC_Group": "G01", "MC_WareName": "电影票《流浪地球》", "MC_WareTime": "2024-05-01 20:00",
 "MC_PlaceName": "一号厅",
 "Tickets": [{"CL_PriceLevel": "A", "CL_WarePrice": 40.00, "CL_WareNum": 2, "CL_CostSum": "80.00"}]}
JSON
balance() { ms surplus 8800000001 | grep '^memberBalance='; }
echo "-- web service: two tickets for 80.00 by member 1001 (card 8800000001)"
echo "balance before: $(balance)"
ms post "$demo/purchase.json"
ms post "$demo/purchase.json"
echo "balance after:  $(balance)"

cat > "$demo/rows.json" <<'JSON'
[{"ORDER_CODE": "TILL-0001", "MEMBER_CARD_NO": "8800000001", "AMOUNT": 35.50, "POINTS": 70}]
JSON
host_balance() { ms lookup Y --member-num 8800000001 --json | grep -o '"MemberBalance": "[^"]*"'; }
echo "-- host member accounts: snacks for 35.50 on card 8800000001, then web order WEB20240101000001 (88.00)"
echo "balance before: $(host_balance)"
ms post-server "$demo/rows.json" 1001
ms post-server "$demo/rows.json" 1001
ms post-order WEB20240101000001 1001
ms post-order WEB20240101000001 1001
echo "balance after:  $(host_balance)"

ms addresses --use H >/dev/null
platform_balance() { ms htk cards 8600000002 654321 --json | grep -o '"card_no": "8600000002".*"user_balance": [0-9.]*' | sed 's/.*"user_balance"/user_balance/'; }
echo "-- platform: 20.50 on card 8600000002 (the agent fills in merchant and store)"
echo "balance before: $(platform_balance)"
ms post-htk sbs_id= store_id= card_no=8600000002 order_no=HTK-0001 money=20.50 points=41 emp_no=1001
ms post-htk sbs_id= store_id= card_no=8600000002 order_no=HTK-0001 money=20.50 points=41 emp_no=1001
echo "balance after:  $(platform_balance)"
ms addresses --use G >/dev/null

echo "-- web service: is order DEMO-0001 paid by member 1001? and an order never posted?"
ms check DEMO-0001 1001 1001 ""
ms check DEMO-9999 1001 1001 "" || echo "(exit $?)"
