#include "sim/ticketmanage/SimDatabase.h"

#include "sim/common/ServiceDatabase.h"

namespace quorl::sim {
namespace {

constexpr const char* kSchema = R"SQL(
CREATE TABLE IF NOT EXISTS member (
  member_id        INTEGER PRIMARY KEY,
  member_num       TEXT NOT NULL UNIQUE,
  member_valid     TEXT NOT NULL DEFAULT '1',
  member_name      TEXT NOT NULL DEFAULT '',
  member_type      TEXT NOT NULL DEFAULT '',
  member_type_name TEXT NOT NULL DEFAULT '',
  card_type        TEXT NOT NULL DEFAULT '',
  card_type_name   TEXT NOT NULL DEFAULT '',
  certificate_type TEXT NOT NULL DEFAULT '',
  certificate_num  TEXT NOT NULL DEFAULT '',
  phone_num        TEXT NOT NULL DEFAULT '',
  mobile_num       TEXT NOT NULL DEFAULT '',
  address          TEXT NOT NULL DEFAULT '',
  email            TEXT NOT NULL DEFAULT '',
  card_status      TEXT NOT NULL DEFAULT '2',
  balance_cents    INTEGER NOT NULL DEFAULT 0 CHECK (balance_cents >= 0),
  is_fees_member   TEXT NOT NULL DEFAULT '1',
  points           INTEGER NOT NULL DEFAULT 0,
  group_code       TEXT NOT NULL DEFAULT '',
  pay_password     TEXT NOT NULL DEFAULT '',
  is_one_card      TEXT NOT NULL DEFAULT '0',
  consume_points   TEXT NOT NULL DEFAULT '',
  consume_money    TEXT NOT NULL DEFAULT '',
  surplus_count    INTEGER NOT NULL DEFAULT 0,
  entry_number     TEXT NOT NULL DEFAULT '',
  image_type       TEXT NOT NULL DEFAULT '',
  image_base64     TEXT NOT NULL DEFAULT '',
  token            TEXT NOT NULL DEFAULT ''
);
CREATE TABLE IF NOT EXISTS booking (
  member_num    TEXT PRIMARY KEY,
  activity_name TEXT NOT NULL DEFAULT '',
  date_start    TEXT NOT NULL DEFAULT '',
  status        TEXT NOT NULL DEFAULT '',
  date_check    TEXT NOT NULL DEFAULT ''
);
CREATE TABLE IF NOT EXISTS operator (
  user_id   INTEGER PRIMARY KEY,
  user_code TEXT NOT NULL UNIQUE,
  user_name TEXT NOT NULL DEFAULT ''
);
CREATE TABLE IF NOT EXISTS consumption (
  order_code    TEXT PRIMARY KEY,
  member_id     INTEGER NOT NULL REFERENCES member(member_id),
  amount_cents  INTEGER NOT NULL,
  payment_name  TEXT NOT NULL DEFAULT '',
  operator_code TEXT NOT NULL DEFAULT '',
  group_code    TEXT NOT NULL DEFAULT '',
  consume_time  TEXT NOT NULL,
  posted_at     TEXT NOT NULL,
  document      TEXT NOT NULL
);
CREATE INDEX IF NOT EXISTS consumption_operator ON consumption (operator_code, consume_time);
CREATE TABLE IF NOT EXISTS consumption_line (
  order_code  TEXT NOT NULL REFERENCES consumption(order_code),
  line_no     INTEGER NOT NULL,
  price_level TEXT NOT NULL DEFAULT '',
  ware_price  TEXT NOT NULL DEFAULT '',
  ware_num    TEXT NOT NULL DEFAULT '',
  cost_sum    TEXT NOT NULL DEFAULT '',
  PRIMARY KEY (order_code, line_no)
);
CREATE TABLE IF NOT EXISTS sync_order (
  id          INTEGER PRIMARY KEY,
  received_at TEXT NOT NULL,
  document    TEXT NOT NULL
);
)SQL";

// The demo data matches the host's demo members (ids, card numbers, names)
// so that one member can be followed through every back end.
constexpr const char* kSeed = R"SQL(
INSERT OR IGNORE INTO member (member_id, member_num, member_valid, member_name, member_type,
  member_type_name, card_type, card_type_name, certificate_type, certificate_num, phone_num,
  mobile_num, address, email, card_status, balance_cents, is_fees_member, points, group_code,
  pay_password, is_one_card, consume_points, consume_money, surplus_count, entry_number,
  image_type, image_base64, token) VALUES
 (1001, '8800000001', '1', '张伟', '03', '金卡会员', 'A', '储值卡', '01', '110101198001011234',
  '010-62001001', '13800000001', '北京市海淀区中关村大街1号', 'zhangwei@example.com', '2', 50000,
  '1', 1200, 'G01', 'e10adc3949ba59abbe56e057f20f883e', '0', '2', '360.00', 5, 'E-0001',
  'png', 'iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==',
  'token-zhangwei'),
 (1002, '8800000002', '1', '李娜', '02', '银卡会员', 'A', '储值卡', '02', 'E12345678',
  '010-62001002', '13800000002', '北京市朝阳区建国路88号', 'lina@example.com', '2', 1250,
  '1', 80, 'G01', '21218cca77804d2ba1922c33e0151105', '0', '1.5', '150.00', 2, 'E-0002',
  '', '', ''),
 (1003, '8800000003', '1', '王芳', '01', '普通会员', 'B', '积分卡', '01', '310101199002022345',
  '', '13800000003', '上海市黄浦区南京东路100号', '', '3', 30000,
  '0', 560, 'G01', 'e10adc3949ba59abbe56e057f20f883e', '0', '1', '80.00', 0, '',
  '', '', ''),
 (2001, '8800000004', '1', '刘洋', '03', '金卡会员', 'A', '储值卡', '01', '440101198503033456',
  '020-83001001', '13900000001', '广州市天河区体育西路5号', 'liuyang@example.com', '2', 100000,
  '1', 3000, 'G02', '21218cca77804d2ba1922c33e0151105', '0', '2', '1200.00', 10, 'E-0004',
  '', '', ''),
 (2002, '8800000005', '0', '陈静', '01', '普通会员', 'A', '储值卡', '03', '军字第0012345号',
  '', '13900000002', '广州市越秀区中山五路20号', '', '4', 6600,
  '1', 40, 'G02', 'e10adc3949ba59abbe56e057f20f883e', '0', '1', '20.00', 0, '',
  '', '', ''),
 (2003, '8800000006', '1', '赵磊', '02', '银卡会员', 'C', '一卡通', '01', '440101199504044567',
  '', '13900000003', '深圳市南山区科技园', 'zhaolei@example.com', '2', 0,
  '1', 10, 'G02', 'e10adc3949ba59abbe56e057f20f883e', '1', '1.5', '5.00', 1, 'E-0006',
  '', '', '');
INSERT OR IGNORE INTO booking (member_num, activity_name, date_start, status, date_check) VALUES
 ('8800000001', '春节联欢音乐会', '2024-02-10 19:30', '已预约', ''),
 ('8800000004', '话剧《茶馆》', '2024-03-01 19:00', '已签到', '2024-03-01 18:40');
INSERT OR IGNORE INTO operator (user_id, user_code, user_name) VALUES
 (1, '0001', '系统管理员'),
 (2, '1001', '王小明'),
 (3, '1002', '李晓红'),
 (4, '2001', '周杰');
)SQL";

}  // namespace

std::unique_ptr<DatabaseConnection> OpenSimDatabase(const std::string& path) {
  return simcommon::OpenServiceDatabase(path, kSchema);
}

void SeedSimDatabase(DatabaseConnection& db) {
  Transaction t(db);
  db.ExecuteScript(kSeed);
  t.Commit();
}

}  // namespace quorl::sim
