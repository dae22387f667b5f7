// Handing a finished PDF to the system's print queue.
//
// Runs `lp -d PRINTER PDF` (lp found on PATH, no shell, standard input from
// /dev/null) and waits at most `timeout`; a queue that hangs is killed.
// Returns an empty text on success, else a one-line reason including the
// first line lp wrote. lp's own output is not passed on.
#pragma once

#include <chrono>
#include <string>

namespace quorl::printapp {

std::string SubmitToPrintQueue(const std::string& printer, const std::string& pdfPath,
                               std::chrono::milliseconds timeout);

}  // namespace quorl::printapp
