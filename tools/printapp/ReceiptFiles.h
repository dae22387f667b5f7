// Where the print application's output goes: the receipts folder and the log.
//
// SaveReceipt writes the PDF and the text receipt as <stem>.pdf and
// <stem>.txt into `folder` (created when missing, mode 0755). Each file is
// written to a hidden temporary file in the same folder, flushed and then
// moved into place without replacing anything, so a reader never sees half a
// receipt and an earlier receipt is never overwritten: when <stem> is taken,
// <stem>-2, <stem>-3, ... are used. Files get mode 0644. Throws
// std::runtime_error with a one-line message; no temporary file is left.
//
// AppendLogLine appends "YYYY-MM-DD hh:mm:ss message" as one line (control
// characters in the message become blanks). A log (a regular file) past
// 1 MiB is first moved to <log>.1, replacing an older one, so the two cannot
// grow without end. Returns false when the line could not be written (the
// log a folder, a FIFO, a full disk, ...); it never raises or blocks.
#pragma once

#include <ctime>
#include <string>

namespace quorl::printapp {

struct SavedReceipt {
  std::string pdfPath;
  std::string textPath;
};

// The order code made safe as a file name part: ASCII letters, digits, '-',
// '_', '.' and non-ASCII characters stay, anything else becomes '_'; at most
// 64 bytes, never starting with '.' or '-'. An empty result is "receipt".
std::string SafeFileStem(const std::string& orderCode);

SavedReceipt SaveReceipt(const std::string& folder, const std::string& stem, const std::string& pdf,
                         const std::string& text);

// Local time as strftime formats it.
std::string LocalTimeText(std::time_t when, const char* format);

bool AppendLogLine(const std::string& logPath, const std::string& message);

}  // namespace quorl::printapp
