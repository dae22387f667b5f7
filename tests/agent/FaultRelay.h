// A loopback relay between the till and a local service that breaks one
// exchange the way networks and servers do: it reads the till's request
// whole, then, as told, drops it unforwarded, forwards it and drops the
// answer, forwards it and withholds the answer, or forwards it, lets the
// test stop the service, and drops the answer. Otherwise it passes the
// answer on. Every connection is closed after one exchange.
#pragma once

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quorl::test {

enum class RelayFault { kNone, kDropUnforwarded, kDropAnswer, kWithholdAnswer, kStopServiceThenDrop };

class FaultRelay {
 public:
  explicit FaultRelay(int targetPort) : targetPort_(targetPort) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&addr), len) != 0 || listen(listener_, 16) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
      throw std::runtime_error("relay: cannot listen");
    port_ = ntohs(addr.sin_port);
    acceptor_ = std::thread([this] { AcceptLoop(); });
  }
  ~FaultRelay() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    released_.notify_all();
    acceptor_.join();
    for (std::thread& t : workers_) t.join();
    close(listener_);
  }
  FaultRelay(const FaultRelay&) = delete;
  FaultRelay& operator=(const FaultRelay&) = delete;

  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  void SetTarget(int port) { targetPort_ = port; }

  // The fault for the next exchange only; later ones pass.
  std::atomic<RelayFault> nextFault{RelayFault::kNone};
  // Called for kStopServiceThenDrop once the service has answered.
  std::function<void()> stopService;
  std::atomic<int> forwarded{0};

 private:
  void AcceptLoop() {
    for (;;) {
      pollfd p{listener_, POLLIN, 0};
      if (poll(&p, 1, 50) > 0) {
        const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) {
          std::lock_guard lock(mutex_);
          workers_.emplace_back([this, fd] { Serve(fd); });
        }
      }
      std::lock_guard lock(mutex_);
      if (stopping_) return;
    }
  }

  // Reads one request: headers to the blank line, then Content-Length bytes.
  static bool ReadRequest(int fd, std::string& head, std::string& body) {
    std::string data;
    char buf[4096];
    size_t headEnd = std::string::npos;
    size_t length = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      if (headEnd != std::string::npos && data.size() >= headEnd + 4 + length) break;
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      const ssize_t n = read(fd, buf, sizeof buf);
      if (n <= 0) return false;
      data.append(buf, static_cast<size_t>(n));
      if (headEnd == std::string::npos && (headEnd = data.find("\r\n\r\n")) != std::string::npos) {
        std::string lower = data.substr(0, headEnd);
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const size_t at = lower.find("content-length:");
        if (at != std::string::npos) length = std::stoul(lower.substr(at + 15));
      }
    }
    if (headEnd == std::string::npos || data.size() < headEnd + 4 + length) return false;
    head = data.substr(0, headEnd);
    body = data.substr(headEnd + 4, length);
    return true;
  }

  static std::string Header(const std::string& head, const std::string& name) {
    std::string lower = head;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const size_t at = lower.find("\r\n" + name + ":");
    if (at == std::string::npos) return std::string();
    const size_t start = at + 3 + name.size();
    const size_t end = head.find("\r\n", start);
    std::string value = head.substr(start, end - start);
    while (!value.empty() && value.front() == ' ') value.erase(0, 1);
    return value;
  }

  void Serve(int fd) {
    std::string head;
    std::string body;
    if (ReadRequest(fd, head, body)) {
      const RelayFault fault = nextFault.exchange(RelayFault::kNone);
      if (fault == RelayFault::kDropUnforwarded) {
        close(fd);
        return;
      }
      const size_t sp1 = head.find(' ');
      const size_t sp2 = head.find(' ', sp1 + 1);
      const std::string method = head.substr(0, sp1);
      const std::string target = head.substr(sp1 + 1, sp2 - sp1 - 1);
      httplib::Client client("127.0.0.1", targetPort_);
      client.set_read_timeout(std::chrono::seconds(10));
      httplib::Headers headers;
      if (const std::string action = Header(head, "soapaction"); !action.empty())
        headers.emplace("SOAPAction", action);
      httplib::Result r = method == "GET" ? client.Get(target, headers)
                                          : client.Post(target, headers, body, Header(head, "content-type"));
      ++forwarded;
      if (fault == RelayFault::kStopServiceThenDrop && stopService) stopService();
      if (fault == RelayFault::kWithholdAnswer) {
        std::unique_lock lock(mutex_);
        released_.wait_for(lock, std::chrono::seconds(30), [this] { return stopping_; });
      }
      if (fault == RelayFault::kNone && r) {
        const std::string answer = "HTTP/1.1 " + std::to_string(r->status) +
                                   " Relayed\r\nContent-Type: " + r->get_header_value("Content-Type") +
                                   "\r\nContent-Length: " + std::to_string(r->body.size()) +
                                   "\r\nConnection: close\r\n\r\n" + r->body;
        size_t sent = 0;
        while (sent < answer.size()) {
          const ssize_t n = send(fd, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
          if (n <= 0) break;
          sent += static_cast<size_t>(n);
        }
      }
    }
    close(fd);
  }

  std::atomic<int> targetPort_;
  int listener_ = -1;
  int port_ = 0;
  std::thread acceptor_;
  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable released_;
  bool stopping_ = false;
};

}  // namespace quorl::test
