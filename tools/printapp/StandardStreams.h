// The standard streams the print application inherits from its host.
//
// The package starts the program and does not wait, so stdin, stdout and
// stderr are whatever the host had: a terminal, a file, a pipe whose reader
// has gone, a full device, or nothing at all. None of that may keep a
// receipt from being written and printed.
//
// GuardStandardStreams, called first thing: SIGPIPE gets a handler that does
// nothing (a write to a broken pipe then fails with EPIPE instead of ending
// the process; unlike SIG_IGN, exec restores the default for lp), and each of
// descriptors 0, 1 and 2 that is closed is opened on /dev/null, so that no
// file the program opens later takes its number and receives its output.
//
// WriteToStream writes text to descriptor 1 or 2, best effort: a failing
// stream (closed, broken pipe, full, invalid) is dropped silently, and a
// stream that accepts nothing for kStreamWait (a pipe nobody reads) is given
// up for the rest of the run. Never raises, never blocks longer than that.
#pragma once

#include <chrono>
#include <string_view>

namespace quorl::printapp {

inline constexpr std::chrono::milliseconds kStreamWait{1000};

void GuardStandardStreams();

void WriteToStream(int fd, std::string_view text);

}  // namespace quorl::printapp
