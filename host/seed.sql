-- Demo data for a host database created by schema.sql. The addresses point
-- at 127.0.0.1 with placeholder ports (18081 for the TicketManage service,
-- 18082 for the HuiTouKe platform); a demo rewrites them once its simulators
-- run. Keys, merchant and store identifiers are demo values, not real ones.
-- Pay passwords: 123456 (e10adc39...) and 888888 (21218cca...), as MD5.

INSERT INTO QUORL_MEMBER_GROUP (GROUP_CODE, GROUP_NAME) VALUES
  ('G01', '星光影城集团'),
  ('G02', '东方院线'),
  ('G03', '滨江文化中心');

INSERT INTO QUORL_SOAPSERVER_ADDRESS
  (NODECODE, ADDRESSTYPE, GROUPCODE, ISDEFAULT, SOAP_ADDR, WSDL_ADDR, COMMERCIAL, PASSWORDKEY, CONNECTUMNBYDB)
VALUES
  ('N001', 'G', 'G01', 'N', 'http://127.0.0.1:18081/services/TicketManage', 'http://127.0.0.1:18081/services/TicketManage?wsdl', '', '', 'N'),
  ('N001', 'G', 'G02', 'N', 'http://127.0.0.1:18081/services/TicketManage', 'http://127.0.0.1:18081/services/TicketManage?wsdl', '', '', 'N'),
  ('N001', 'G', '',    'Y', 'http://127.0.0.1:18081/services/TicketManage', 'http://127.0.0.1:18081/services/TicketManage?wsdl', '', '', 'N'),
  ('N001', 'H', 'G01', 'N', 'http://127.0.0.1:18082/api/', '', 'DEMO-SBS-0001|DEMO-STORE-01', 'demo-htk-key-N001', 'N'),
  ('N001', 'H', '',    'Y', 'http://127.0.0.1:18082/api/', '', 'DEMO-SBS-0001|DEMO-STORE-01', 'demo-htk-key-N001', 'N'),
  ('N002', 'G', 'G02', 'N', 'http://127.0.0.1:18081/services/TicketManage', 'http://127.0.0.1:18081/services/TicketManage?wsdl', '', '', 'Y'),
  ('N002', 'G', '',    'Y', 'http://127.0.0.1:18081/services/TicketManage', 'http://127.0.0.1:18081/services/TicketManage?wsdl', '', '', 'Y'),
  ('N002', 'H', 'G02', 'N', 'http://127.0.0.1:18082/api/', '', 'DEMO-SBS-0002|DEMO-STORE-02', 'demo-htk-key-N002', 'Y'),
  ('N002', 'H', '',    'Y', 'http://127.0.0.1:18082/api/', '', 'DEMO-SBS-0002|DEMO-STORE-02', 'demo-htk-key-N002', 'Y');

INSERT INTO QUORL_MEMBER_IDENTTYPE (IDENTTYPEID, IDENTTYPENAME, CERTIFICATETYPE, NODECODE) VALUES
  (1, '身份证', '01', 'N001'),
  (2, '护照', '02', 'N001'),
  (3, '军官证', '03', 'N001'),
  (4, '港澳通行证', '04', 'N001'),
  (5, '台胞证', '05', 'N001'),
  (1, '身份证', '01', 'N002'),
  (2, '护照', '02', 'N002'),
  (3, '军官证', '03', 'N002');

INSERT INTO QUORL_MEMBER_CLASS (MEMBER_CLASS_ID, MEMBER_CLASS_NAME, POINTS_REWARD_RATE) VALUES
  ('01', '普通会员', 1),
  ('02', '银卡会员', 1.5),
  ('03', '金卡会员', 2);

INSERT INTO QUORL_CARD_CLASS (MEMBER_CARD_CLASS_ID, MEMBER_CARD_CLASS_NAME, RECHARGE_RATE, IS_ONE_CARD) VALUES
  ('A', '储值卡', 1, 'f'),
  ('B', '积分卡', 0, 'f'),
  ('C', '一卡通', 1, 't');

INSERT INTO QUORL_MEMBER
  (MEMBER_ID, FULL_NAME, STATUS, MEMBER_CLASS_ID, GROUP_CODE, CERTIFICATE_TYPE, ID_NO, TEL_NO, MOBILE_NO, CONTACT_ADDRESS, REGISTER_EMAIL)
VALUES
  (1001, '张伟', '1', '03', 'G01', '01', '110101198001011234', '010-62001001', '13800000001', '北京市海淀区中关村大街1号', 'zhangwei@example.com'),
  (1002, '李娜', '1', '02', 'G01', '02', 'E12345678', '010-62001002', '13800000002', '北京市朝阳区建国路88号', 'lina@example.com'),
  (1003, '王芳', '1', '01', 'G01', '01', '310101199002022345', '', '13800000003', '上海市黄浦区南京东路100号', ''),
  (2001, '刘洋', '1', '03', 'G02', '01', '440101198503033456', '020-83001001', '13900000001', '广州市天河区体育西路5号', 'liuyang@example.com'),
  (2002, '陈静', '0', '01', 'G02', '03', '军字第0012345号', '', '13900000002', '广州市越秀区中山五路20号', ''),
  (2003, '赵磊', '1', '02', 'G02', '01', '440101199504044567', '', '13900000003', '深圳市南山区科技园', 'zhaolei@example.com');

INSERT INTO QUORL_MEMBER_CARD
  (MEMBER_CARD_NO, MEMBER_ID, MEMBER_CARD_CLASS_ID, CARD_STATUS, PAY_PASSWORD, BALANCE_CENTS, POINTS, CONSUME_CENTS)
VALUES
  ('8800000001', 1001, 'A', '2', 'e10adc3949ba59abbe56e057f20f883e', 50000, 1200, 36000),
  ('8800000011', 1001, 'C', '2', 'e10adc3949ba59abbe56e057f20f883e', 2000, 0, 0),
  ('8800000002', 1002, 'A', '2', '21218cca77804d2ba1922c33e0151105', 1250, 80, 15000),
  ('8800000003', 1003, 'B', '3', 'e10adc3949ba59abbe56e057f20f883e', 30000, 560, 8000),
  ('8800000004', 2001, 'A', '2', '21218cca77804d2ba1922c33e0151105', 100000, 3000, 120000),
  ('8800000005', 2002, 'A', '4', 'e10adc3949ba59abbe56e057f20f883e', 6600, 40, 2000),
  ('8800000006', 2003, 'C', '2', 'e10adc3949ba59abbe56e057f20f883e', 0, 10, 500);

INSERT INTO QUORL_USERS (UserCode, CNAME) VALUES
  ('0001', '系统管理员'),
  ('1001', '王小明'),
  ('1002', '李晓红'),
  ('2001', '周杰');

INSERT INTO QUORL_PENDING_ORDER (ORDER_CODE, MEMBER_CARD_NO, AMOUNT_CENTS, POINTS, STATE, CREATED_AT) VALUES
  ('WEB20240101000001', '8800000001', 8800, 176, 'P', '2024-01-01 10:15:00'),
  ('WEB20240101000002', '8800000002', 5000, 75, 'P', '2024-01-01 11:20:00'),
  ('WEB20240102000003', '8800000004', 12000, 240, 'P', '2024-01-02 19:05:00');
