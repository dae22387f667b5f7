#include "tools/till/TillSettings.h"

#include <QSettings>
#include <QStandardPaths>
#include <stdexcept>

namespace quorl::till {

namespace {

std::string Read(const QSettings& s, const char* key, const std::string& fallback) {
  return s.value(key, QString::fromStdString(fallback)).toString().toStdString();
}

}  // namespace

TillSettings LoadSettings(const std::string& path) {
  const QSettings s(QString::fromStdString(path), QSettings::IniFormat);
  TillSettings t;
  t.appDir = Read(s, "till/appdir", t.appDir);
  t.database = Read(s, "till/database", t.database);
  t.node = Read(s, "till/node", t.node);
  t.group = Read(s, "till/group", t.group);
  t.mode = Read(s, "till/mode", t.mode);
  t.operatorCode = Read(s, "till/operator", t.operatorCode);
  t.orderPrefix = Read(s, "till/orderprefix", t.orderPrefix);
  bool ok = false;
  const int next = s.value("till/nextorder", t.nextOrder).toInt(&ok);
  if (ok && next > 0) t.nextOrder = next;
  return t;
}

void SaveSettings(const std::string& path, const TillSettings& t) {
  QSettings s(QString::fromStdString(path), QSettings::IniFormat);
  s.setValue("till/appdir", QString::fromStdString(t.appDir));
  s.setValue("till/database", QString::fromStdString(t.database));
  s.setValue("till/node", QString::fromStdString(t.node));
  s.setValue("till/group", QString::fromStdString(t.group));
  s.setValue("till/mode", QString::fromStdString(t.mode));
  s.setValue("till/operator", QString::fromStdString(t.operatorCode));
  s.setValue("till/orderprefix", QString::fromStdString(t.orderPrefix));
  s.setValue("till/nextorder", t.nextOrder);
  s.sync();
  if (s.status() != QSettings::NoError) throw std::runtime_error("cannot write the settings file " + path);
}

std::string DefaultSettingsPath() {
  return (QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/quorl/quorl-till.ini")
      .toStdString();
}

std::string SettingsProblem(const TillSettings& t) {
  if (t.mode != "Y" && t.mode != "N" && t.mode != "H")
    return "连接方式须为 Y（会员账户）、N（网络服务）或 H（平台）";
  if (t.database.empty()) return "未设置主机数据库";
  if (t.node.empty() || t.group.empty()) return "未设置站点或会员组代码";
  if (t.orderPrefix.empty() || t.operatorCode.empty()) return "未设置操作员或订单前缀";
  return std::string();
}

}  // namespace quorl::till
