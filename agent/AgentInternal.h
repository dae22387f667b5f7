// The agent's internal helpers: the warning texts it shows and the parts of
// the report and the postings that tests and fuzzers reach directly. Not
// installed and not exported: a host sees the agent through
// TMemberSysAgentImpl_ZEL.h and IMemberSysAgent_ZEL.h only.
#pragma once

#include <string>

#include "platform/Variant.h"

namespace quorl {

// The message texts the agent shows (8-bit GBK) and the caption.
extern const char* const kAgentWarningCaption;   // "警告"
extern const char* const kPostingFailedMessage;  // "会员购票信息保存失败!，请与管理员联系"
extern const char* const kCheckFailedMessage;    // "会员校验失败，请与管理员联系"
extern const char* const kReportFailedMessage;   // "会员储入信息查询失败!，请与管理员联系"

// The report dataset of a report answer (host text): "data" with one
// "dataitem" row per payment. Raises EXMLDocError ("Parse Error: Invalid XML
// Format!" for a wrong element), EConvertError for an operator id that is
// not a 32-bit integer; an unreadable amount is 0.
Variant ReadBalanceReport(const std::string& gbkText);

// Reads a decimal number written with the decimal separator of the process's
// numeric locale (LC_NUMERIC), as the host's locale settings have it.
// False for anything else.
bool TryStrToFloatHostLocale(const std::string& text, double& out);

}  // namespace quorl
