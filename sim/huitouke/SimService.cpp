#include "sim/huitouke/SimService.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "platform/CodePage.h"
#include "sim/common/ServiceDatabase.h"

namespace quorl::htksim {

namespace {

constexpr const char* kSuccess = "A00006";
constexpr int64_t kPerPage = 25;
constexpr size_t kMaxOrderNo = 64;
constexpr size_t kMaxEmpNo = 32;

// Keys stay in the order written, as the platform sends them.
using Json = nlohmann::ordered_json;

// Text that is not UTF-8 (a client's bytes that did not convert) is sent
// with U+FFFD in its place rather than failing the whole answer.
std::string Text(const Json& answer) { return answer.dump(-1, ' ', false, Json::error_handler_t::replace); }

// Money as a JSON number in yuan.
double Yuan(int64_t cents) { return static_cast<double>(cents) / 100.0; }

std::string Failure(const char* code, const std::string& message, bool withCount) {
  Json answer = {{"code", code}, {"msg", message}, {"result", message}};
  if (withCount) answer["count"] = 0;
  return Text(answer);
}

// The client sends host text (GBK); the store and the answers are UTF-8.
std::string FromClient(const std::string& gbk) { return quorl::GbkToUtf8(gbk); }

bool Digits(const std::string& s, size_t from, size_t n) {
  for (size_t i = from; i < from + n; ++i)
    if (s[i] < '0' || s[i] > '9') return false;
  return true;
}

// "yyyy-mm-dd" or "yyyy-mm-dd hh:nn:ss"; a bare end date means the whole day.
bool NormalizeDate(const std::string& in, bool end, std::string& out) {
  if (in.empty()) {
    out.clear();
    return true;
  }
  const bool dateShape = in.size() >= 10 && Digits(in, 0, 4) && in[4] == '-' && Digits(in, 5, 2) &&
                         in[7] == '-' && Digits(in, 8, 2);
  if (!dateShape) return false;
  if (in.size() == 10) {
    out = in + (end ? " 23:59:59" : " 00:00:00");
    return true;
  }
  const bool timeShape = in.size() == 19 && in[10] == ' ' && Digits(in, 11, 2) && in[13] == ':' &&
                         Digits(in, 14, 2) && in[16] == ':' && Digits(in, 17, 2);
  if (!timeShape) return false;
  out = in;
  return true;
}

Json MemberJson(const Member& m) {
  return {{"member_id", m.memberId}, {"realname", m.realname},
          {"username", m.username},  {"password", m.password},
          {"mobile", m.mobile},      {"email", m.email},
          {"gender", m.gender},      {"birthday", m.birthday},
          {"reg_date", m.regDate},   {"tel", m.tel}};
}

Json CardJson(const Card& c) {
  return {{"card_no", c.cardNo},        {"user_point", std::to_string(c.points)},
          {"user_status", c.status},    {"user_balance", Yuan(c.balanceCents)},
          {"user_rank", c.rank},        {"user_rank_name", c.rankName},
          {"user_password", c.password}};
}

}  // namespace

std::string SimService::CheckCaller(const ParamList& params, bool withCount) const {
  const auto merchant = Find(params, "sbs_id");
  if (!merchant || *merchant != config_.merchant) return Failure("A00003", "商户号错误", withCount);
  if (!SignatureValid(params, config_.key)) return Failure("A00003", "签名错误", withCount);
  return std::string();
}

std::string SimService::GetCardList(const ParamList& params) {
  if (std::string refused = CheckCaller(params, false); !refused.empty()) return refused;
  const auto key = Find(params, "mobile");
  const auto cipher = Find(params, "password");
  if (!key || !cipher || !Find(params, "t")) return Failure("A00001", "缺少参数", false);

  // The same rule as the client: 11 bytes is a mobile number, '@' an e-mail
  // address, anything else a card number.
  std::optional<Member> member;
  std::optional<Card> card;
  if (key->size() == 11) {
    member = store_.MemberByMobile(FromClient(*key));
  } else if (key->find('@') != std::string::npos) {
    member = store_.MemberByEmail(FromClient(*key));
  } else {
    card = store_.CardByNo(FromClient(*key));
    if (card) member = store_.MemberById(card->memberId);
  }
  if (!member) return Failure("A00002", "会员不存在", false);

  const auto bytes = FromHex(*cipher);
  const std::string expected = card ? card->password : member->password;
  if (!bytes || bytes->empty() || FromClient(Rc4(config_.key, *bytes)) != expected)
    return Failure("A00005", "密码错误", false);

  const std::vector<Card> cards = store_.CardsOf(member->memberId);
  Json data = Json::array();
  for (const Card& c : cards) data.push_back(CardJson(c));
  return Text({{"code", kSuccess}, {"total", cards.size()}, {"member", MemberJson(*member)}, {"data", data}});
}

std::string SimService::ConsumeInfoPost(const ParamList& params) {
  if (std::string refused = CheckCaller(params, false); !refused.empty()) return refused;
  const auto store = Find(params, "store_id");
  const auto cardNo = Find(params, "card_no");
  const auto orderNo = Find(params, "order_no");
  const auto money = Find(params, "money");
  if (!store || !cardNo || !orderNo || !money || orderNo->empty())
    return Failure("A00001", "缺少参数", false);
  const auto cents = ParseMoney(*money);
  const auto points = ParseCount(Find(params, "points").value_or("0"));
  const std::string empNo = FromClient(Find(params, "emp_no").value_or(""));
  if (!cents || !points || orderNo->size() > kMaxOrderNo || empNo.size() > kMaxEmpNo)
    return Failure("A00001", "参数错误", false);

  const ConsumeResult r = store_.Consume(FromClient(*cardNo), FromClient(*orderNo), *cents, *points, empNo,
                                         FromClient(*store), simcommon::LocalTimeText());
  const std::string state = "余额 " + FormatMoney(r.balanceCents) + "，积分 " + std::to_string(r.points);
  switch (r.outcome) {
    case ConsumeOutcome::kUnknownCard:
      return Failure("A00002", "会员卡不存在", false);
    case ConsumeOutcome::kCardNotUsable:
      return Failure("A00007", "会员卡状态不可用", false);
    case ConsumeOutcome::kInsufficientBalance:
      return Failure("A00004", "余额不足，" + state, false);
    case ConsumeOutcome::kOrderConflict:
      // The order number is the parameter at fault: it names another consumption.
      return Text({{"code", "A00001"},
                   {"msg", "参数错误"},
                   {"result", "订单 " + FromClient(*orderNo) + " 已用于另一笔消费，未扣款"}});
    case ConsumeOutcome::kAlreadyPosted:
    case ConsumeOutcome::kCharged:
      break;
  }
  const std::string result = r.outcome == ConsumeOutcome::kCharged
                                 ? "消费成功，" + state
                                 : "订单 " + FromClient(*orderNo) + " 已处理，未重复扣款，" + state;
  return Text({{"code", kSuccess}, {"result", result}});
}

std::string SimService::ViewInvoice(const ParamList& params) {
  if (std::string refused = CheckCaller(params, true); !refused.empty()) return refused;
  const auto cardNo = Find(params, "card_no");
  const auto type = Find(params, "type");
  const auto sdate = Find(params, "sdate");
  const auto edate = Find(params, "edate");
  const auto page = Find(params, "page");
  if (!cardNo || !type || !sdate || !edate || !page || !Find(params, "t"))
    return Failure("A00001", "缺少参数", true);
  const auto pageNo = ParseCount(*page);
  std::string from, to;
  if (!pageNo || *pageNo < 1 || !NormalizeDate(*sdate, false, from) || !NormalizeDate(*edate, true, to))
    return Failure("A00001", "参数错误", true);
  if (!store_.CardByNo(FromClient(*cardNo))) return Failure("A00002", "会员卡不存在", true);

  const MovementPage result =
      store_.Movements(FromClient(*cardNo), FromClient(*type), from, to, *pageNo, kPerPage);
  Json data = Json::array();
  for (const Movement& m : result.rows) {
    data.push_back({{"card_no", m.cardNo},
                    {"type", m.type},
                    {"saving_add", FormatMoney(m.savingAddCents)},
                    {"saving_sub", FormatMoney(m.savingSubCents)},
                    {"saving_reward", FormatMoney(m.savingRewardCents)},
                    {"point_add", std::to_string(m.pointAdd)},
                    {"point_sub", std::to_string(m.pointSub)},
                    {"bank_amount", FormatMoney(m.bankAmountCents)},
                    {"time", m.time},
                    {"emp_no", m.empNo}});
  }
  return Text({{"code", kSuccess}, {"count", result.count}, {"data", data}});
}

}  // namespace quorl::htksim
