// Fake of the HTTP seam (quorl::HttpTransport).
//
// FakeHttpServer is the shared state of every fake transport it hands out: it
// records each request and answers from a script. Answers, in order of
// precedence: queued answers (Respond), then the handler (if set), then
// DefaultResponse. Fault switches apply to the next call(s) before any answer:
//   FailNext(FakeHttpFault::kSocketError)  EIdSocketError "Couldn't connect to server"
//                                          (the request never left)
//   FailNext(FakeHttpFault::kTimeout)      EIdSocketError "Timeout was reached"
//                                          (after the request left)
//   FailNext(FakeHttpFault::kTruncatedBody) the answer's body cut to half its length
//   FailNext(FakeHttpFault::kGarbageBody)   the answer's body replaced by bytes no
//                                           parser accepts
// A queued fault is used up by one call; FailAlways sets one for every call.
//
// ScopedFakeHttp installs the server as quorl::SetHttpTransportFactory for
// its lifetime, so every TIdHTTP created meanwhile talks to it:
//   ScopedFakeHttp http;
//   http.server.Respond(200, R"({"code":"A00006"})");
//   ... code under test ...
//   EXPECT_EQ(http.server.requests.size(), 1u);
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/Exception.h"
#include "platform/Http.h"

namespace quorl::test {

enum class FakeHttpFault { kNone, kSocketError, kTimeout, kTruncatedBody, kGarbageBody };

class FakeHttpServer {
 public:
  std::vector<HttpRequest> requests;  // every request, in order, also failed ones
  std::deque<HttpResponse> queued;
  std::function<HttpResponse(const HttpRequest&)> handler;
  HttpResponse defaultResponse{200, {}, ""};
  int transportsCreated = 0;

  void Respond(int status, std::string body, std::vector<std::pair<std::string, std::string>> headers = {},
               std::string reason = {}) {
    queued.push_back(HttpResponse{status, std::move(headers), std::move(body), std::move(reason)});
  }
  void FailNext(FakeHttpFault fault) { faults_.push_back(fault); }
  void FailAlways(FakeHttpFault fault) { always_ = fault; }

  const HttpRequest& LastRequest() const { return requests.back(); }

  HttpResponse Answer(const HttpRequest& request) {
    requests.push_back(request);
    FakeHttpFault fault = always_;
    if (!faults_.empty()) {
      fault = faults_.front();
      faults_.pop_front();
    }
    if (fault == FakeHttpFault::kSocketError)
      throw EIdSocketError("HTTP request to " + request.url + " failed: Couldn't connect to server", false);
    if (fault == FakeHttpFault::kTimeout)
      throw EIdSocketError("HTTP request to " + request.url + " failed: Timeout was reached");
    HttpResponse response;
    if (!queued.empty()) {
      response = std::move(queued.front());
      queued.pop_front();
    } else if (handler) {
      response = handler(request);
    } else {
      response = defaultResponse;
    }
    if (fault == FakeHttpFault::kTruncatedBody) response.body.resize(response.body.size() / 2);
    if (fault == FakeHttpFault::kGarbageBody) response.body = std::string("\xFF\x00<{[\"\x01garbage", 14);
    return response;
  }

 private:
  std::deque<FakeHttpFault> faults_;
  FakeHttpFault always_ = FakeHttpFault::kNone;
};

// One transport; forwards to its server, which outlives it.
class FakeHttpTransport : public HttpTransport {
 public:
  explicit FakeHttpTransport(FakeHttpServer& server) : server_(server) {}
  HttpResponse Send(const HttpRequest& request) override { return server_.Answer(request); }

 private:
  FakeHttpServer& server_;
};

class ScopedFakeHttp {
 public:
  FakeHttpServer server;

  ScopedFakeHttp() {
    Current() = &server;
    SetHttpTransportFactory(&Make);
  }
  ~ScopedFakeHttp() {
    SetHttpTransportFactory(nullptr);
    Current() = nullptr;
  }
  ScopedFakeHttp(const ScopedFakeHttp&) = delete;
  ScopedFakeHttp& operator=(const ScopedFakeHttp&) = delete;

 private:
  static FakeHttpServer*& Current() {
    static FakeHttpServer* current = nullptr;
    return current;
  }
  static std::unique_ptr<HttpTransport> Make() {
    ++Current()->transportsCreated;
    return std::make_unique<FakeHttpTransport>(*Current());
  }
};

}  // namespace quorl::test
