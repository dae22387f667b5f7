#include "tools/printapp/Receipt.h"

namespace quorl::printapp {

std::string CleanValue(const std::string& value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    const auto b = static_cast<unsigned char>(c);
    out += (b < 0x20 || b == 0x7F) ? ' ' : c;
  }
  const auto first = out.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return out.substr(first, out.find_last_not_of(' ') - first + 1);
}

namespace {

void Add(std::vector<ReceiptField>& group, const char* label, const std::string& value) {
  std::string v = CleanValue(value);
  if (!v.empty()) group.push_back({label, std::move(v)});
}

}  // namespace

Receipt BuildReceipt(const PrintDocument& doc) {
  Receipt r;
  r.title = "会员消费凭条";

  std::vector<ReceiptField> order, member, show;
  Add(order, "订单号", doc.MC_OrderCode);
  Add(order, "时间", doc.MC_Time);
  Add(order, "操作员", doc.MC_Creater);
  Add(member, "会员号", doc.MC_MemberID);
  Add(member, "会员", doc.MC_UserName);
  Add(member, "电话", doc.MC_PhoneNumber);
  Add(member, "地址", doc.MC_Address);
  std::string ware = CleanValue(doc.MC_WareName);
  const std::string wareCode = CleanValue(doc.MC_WareCode);
  if (!wareCode.empty()) ware += ware.empty() ? wareCode : " (" + wareCode + ")";
  Add(show, "商品", ware);
  Add(show, "影厅", doc.MC_PlaceName);
  Add(show, "场次", doc.MC_WareTime);
  for (auto* group : {&order, &member, &show})
    if (!group->empty()) r.groups.push_back(std::move(*group));

  r.tableHeader = {"票价", "单价", "数量", "小计"};
  for (const ConsumeLine& line : doc.Consume)
    r.lines.push_back({CleanValue(line.CL_PriceLevel), CleanValue(line.CL_WarePrice),
                       CleanValue(line.CL_WareNum), CleanValue(line.CL_CostSum)});

  Add(r.totals, "合计", doc.MC_PriceSum);
  Add(r.totals, "折扣", doc.MC_Discount);
  if (!CleanValue(doc.MC_Cost).empty()) r.emphasisedTotal = static_cast<int>(r.totals.size());
  Add(r.totals, "实付", doc.MC_Cost);
  Add(r.totals, "消费类型", doc.MC_CostType);

  Add(r.notes, "发票抬头", doc.MC_InvoiceHead);
  Add(r.notes, "备注", doc.MC_PostMemo);

  r.footer = "谢谢惠顾，欢迎再次光临";
  return r;
}

}  // namespace quorl::printapp
