-- Host database of the member-system host services (PostgreSQL dialect, for
-- sites whose tills share one server; schema.sql is the SQLite one and the
-- two must keep the same tables, columns and sizes).
-- Every statement can run again on an existing database without effect.
-- Integers are BIGINT, as wide as SQLite's; one-letter codes are VARCHAR(1)
-- because CHAR(1) would pad an empty code to a blank, which SQLite never does.
-- Text is stored as UTF-8. Money is stored as whole cents (fen) so that
-- charging never rounds; the member-account service hands it out in yuan.

-- Where the member services are, per node, address type and group.
-- No unique key: the address look-up takes the first row the database
-- returns, and sites have been known to keep several.
CREATE TABLE IF NOT EXISTS QUORL_SOAPSERVER_ADDRESS (
  NODECODE       VARCHAR(20),
  ADDRESSTYPE    VARCHAR(10),
  GROUPCODE      VARCHAR(20),
  ISDEFAULT      VARCHAR(1) DEFAULT 'N',
  SOAP_ADDR      VARCHAR(255),
  WSDL_ADDR      VARCHAR(255),
  COMMERCIAL     VARCHAR(100),
  PASSWORDKEY    VARCHAR(100),
  CONNECTUMNBYDB VARCHAR(100)
);
CREATE INDEX IF NOT EXISTS QUORL_SOAPSERVER_ADDRESS_NODE
  ON QUORL_SOAPSERVER_ADDRESS (NODECODE, ADDRESSTYPE);

-- Identity documents a member may register with, per node.
CREATE TABLE IF NOT EXISTS QUORL_MEMBER_IDENTTYPE (
  IDENTTYPEID     BIGINT NOT NULL,
  IDENTTYPENAME   VARCHAR(40),
  CERTIFICATETYPE VARCHAR(10),
  NODECODE        VARCHAR(20)
);
CREATE INDEX IF NOT EXISTS QUORL_MEMBER_IDENTTYPE_NODE
  ON QUORL_MEMBER_IDENTTYPE (NODECODE, IDENTTYPEID);

-- Member groups (cinema chains or sites sharing one member base).
CREATE TABLE IF NOT EXISTS QUORL_MEMBER_GROUP (
  GROUP_CODE VARCHAR(20) PRIMARY KEY,
  GROUP_NAME VARCHAR(60) NOT NULL
);

-- Member classes; POINTS_REWARD_RATE is points per yuan spent.
CREATE TABLE IF NOT EXISTS QUORL_MEMBER_CLASS (
  MEMBER_CLASS_ID    VARCHAR(10) PRIMARY KEY,
  MEMBER_CLASS_NAME  VARCHAR(40) NOT NULL,
  POINTS_REWARD_RATE NUMERIC NOT NULL DEFAULT 1
);

-- Card classes. RECHARGE_RATE 0 marks a card that is not a paid
-- (stored-value) card; IS_ONE_CARD is 't' or 'f'.
CREATE TABLE IF NOT EXISTS QUORL_CARD_CLASS (
  MEMBER_CARD_CLASS_ID   VARCHAR(10) PRIMARY KEY,
  MEMBER_CARD_CLASS_NAME VARCHAR(40) NOT NULL,
  RECHARGE_RATE          NUMERIC NOT NULL DEFAULT 0,
  IS_ONE_CARD            VARCHAR(1) NOT NULL DEFAULT 'f' CHECK (IS_ONE_CARD IN ('t', 'f'))
);

-- Members. STATUS '1' is a valid member, '0' a cancelled one.
CREATE TABLE IF NOT EXISTS QUORL_MEMBER (
  MEMBER_ID        BIGINT PRIMARY KEY,
  FULL_NAME        VARCHAR(40) NOT NULL,
  STATUS           VARCHAR(1) NOT NULL DEFAULT '1',
  MEMBER_CLASS_ID  VARCHAR(10) REFERENCES QUORL_MEMBER_CLASS (MEMBER_CLASS_ID),
  GROUP_CODE       VARCHAR(20) NOT NULL REFERENCES QUORL_MEMBER_GROUP (GROUP_CODE),
  CERTIFICATE_TYPE VARCHAR(10),
  ID_NO            VARCHAR(32),
  TEL_NO           VARCHAR(20),
  MOBILE_NO        VARCHAR(20),
  CONTACT_ADDRESS  VARCHAR(200),
  REGISTER_EMAIL   VARCHAR(100)
);
CREATE INDEX IF NOT EXISTS QUORL_MEMBER_GROUP_CODE ON QUORL_MEMBER (GROUP_CODE);

-- Member cards: the account (balance, points) lives on the card.
-- CARD_STATUS '1' not issued, '2' normal, '3' reported lost, '4' frozen.
-- PAY_PASSWORD is the MD5 digest (32 lower-case hex digits) of the password.
CREATE TABLE IF NOT EXISTS QUORL_MEMBER_CARD (
  MEMBER_CARD_NO       VARCHAR(32) PRIMARY KEY,
  MEMBER_ID            BIGINT NOT NULL REFERENCES QUORL_MEMBER (MEMBER_ID),
  MEMBER_CARD_CLASS_ID VARCHAR(10) REFERENCES QUORL_CARD_CLASS (MEMBER_CARD_CLASS_ID),
  CARD_STATUS          VARCHAR(1) NOT NULL DEFAULT '2',
  PAY_PASSWORD         VARCHAR(64),
  BALANCE_CENTS        BIGINT NOT NULL DEFAULT 0 CHECK (BALANCE_CENTS >= 0),
  POINTS               BIGINT NOT NULL DEFAULT 0 CHECK (POINTS >= 0),
  CONSUME_CENTS        BIGINT NOT NULL DEFAULT 0
);
CREATE INDEX IF NOT EXISTS QUORL_MEMBER_CARD_MEMBER ON QUORL_MEMBER_CARD (MEMBER_ID);

-- Posted consumptions, one per order code: the key is what keeps an order
-- from being charged twice.
CREATE TABLE IF NOT EXISTS QUORL_CONSUMPTION (
  ORDER_CODE     VARCHAR(40) PRIMARY KEY,
  MEMBER_CARD_NO VARCHAR(32) NOT NULL REFERENCES QUORL_MEMBER_CARD (MEMBER_CARD_NO),
  MEMBER_ID      BIGINT NOT NULL,
  AMOUNT_CENTS   BIGINT NOT NULL CHECK (AMOUNT_CENTS >= 0),
  POINTS         BIGINT NOT NULL DEFAULT 0,
  OPERATOR_CODE  VARCHAR(12),
  SOURCE         VARCHAR(10) NOT NULL,
  POSTED_AT      TEXT NOT NULL DEFAULT (to_char(LOCALTIMESTAMP(0), 'YYYY-MM-DD HH24:MI:SS'))
);

-- Orders taken elsewhere (web, kiosk) and paid at the till by order code.
-- STATE 'P' pending, 'D' done.
CREATE TABLE IF NOT EXISTS QUORL_PENDING_ORDER (
  ORDER_CODE     VARCHAR(40) PRIMARY KEY,
  MEMBER_CARD_NO VARCHAR(32) NOT NULL REFERENCES QUORL_MEMBER_CARD (MEMBER_CARD_NO),
  AMOUNT_CENTS   BIGINT NOT NULL CHECK (AMOUNT_CENTS >= 0),
  POINTS         BIGINT NOT NULL DEFAULT 0,
  STATE          VARCHAR(1) NOT NULL DEFAULT 'P' CHECK (STATE IN ('P', 'D')),
  CREATED_AT     TEXT NOT NULL DEFAULT (to_char(LOCALTIMESTAMP(0), 'YYYY-MM-DD HH24:MI:SS'))
);

-- The host's operators.
CREATE TABLE IF NOT EXISTS QUORL_USERS (
  UserCode VARCHAR(12) PRIMARY KEY,
  CNAME    VARCHAR(32) NOT NULL
);

-- Bookkeeping of the database itself (the demo seed marker).
CREATE TABLE IF NOT EXISTS QUORL_HOST_META (
  META_KEY   VARCHAR(40) PRIMARY KEY,
  META_VALUE VARCHAR(100)
);
