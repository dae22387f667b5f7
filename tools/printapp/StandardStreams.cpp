#include "tools/printapp/StandardStreams.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace quorl::printapp {
namespace {

// Streams given up on: after a failure further writes only cost time.
bool givenUp[3] = {false, false, false};

void IgnoreSignal(int) {}

}  // namespace

void GuardStandardStreams() {
  struct sigaction action {};
  action.sa_handler = IgnoreSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGPIPE, &action, nullptr);

  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number is taken, and every lower one is open by now.
    const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != fd) {
      ::dup2(opened, fd);
      ::close(opened);
    }
  }
}

void WriteToStream(int fd, std::string_view text) {
  if (fd < 1 || fd > 2 || givenUp[fd]) return;
  const auto deadline = std::chrono::steady_clock::now() + kStreamWait;
  while (!text.empty()) {
    // Waiting for room first keeps a pipe nobody reads from blocking us: a
    // write of at most PIPE_BUF bytes into a pipe with room does not block.
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd p{fd, POLLOUT, 0};
    const int ready = left.count() > 0 ? ::poll(&p, 1, static_cast<int>(left.count())) : 0;
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0 || (p.revents & (POLLERR | POLLNVAL)) != 0) break;
    const ssize_t n = ::write(fd, text.data(), std::min<std::size_t>(text.size(), PIPE_BUF));
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) break;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  if (!text.empty()) givenUp[fd] = true;
}

}  // namespace quorl::printapp
