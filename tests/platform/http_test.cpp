#include "platform/Http.h"

#include <gtest/gtest.h>

// The cpp-httplib target carries the feature switches the system library was
// built with; its classes change layout with them.
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "fakes/FakeHttpTransport.h"
#include "platform/Exception.h"

namespace {

using quorl::test::FakeHttpFault;
using quorl::test::ScopedFakeHttp;

std::string HeaderOf(const quorl::HttpRequest& r, const std::string& name) {
  for (const auto& [n, v] : r.headers)
    if (n == name) return v;
  return "<none>";
}

TEST(HTTPEncode, EncodesEveryByteButLettersDigitsAndSafeMarks) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"", ""},
      {"AZaz09", "AZaz09"},
      {"*-._", "*-._"},
      {"a b", "a+b"},
      {"+&=%", "%2B%26%3D%25"},
      {"~!'()/?#:", "%7E%21%27%28%29%2F%3F%23%3A"},
      {"\xD6\xD0", "%D6%D0"},
      {std::string("\0\x1F\x7F\xFF", 4), "%00%1F%7F%FF"},
      {"2024-01-01 10:00:00", "2024-01-01+10%3A00%3A00"},
  };
  for (const auto& c : cases) EXPECT_EQ(HTTPEncode(c.in), c.out) << c.in;
}

TEST(TIdHTTP, PostOfLinesSendsUrlEncodedForm) {
  ScopedFakeHttp http;
  http.server.Respond(200, "ok");
  TStringList lines;
  lines.SetText("sbs_id=12 3\r\nstore_id=\r\nname=\xD6\xD0&x=y\r\n\r\nbare line\r\n=v\r\nsign=ab=cd\r\n");
  TIdHTTP client;
  EXPECT_EQ(client.Post("http://h/ConsumeInfoPost", lines), "ok");
  ASSERT_EQ(http.server.requests.size(), 1u);
  const auto& r = http.server.LastRequest();
  EXPECT_EQ(r.method, "POST");
  EXPECT_EQ(r.url, "http://h/ConsumeInfoPost");
  EXPECT_EQ(HeaderOf(r, "Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(r.body, "sbs_id=12+3&store_id=&name=%D6%D0%26x%3Dy&bare+line&=v&sign=ab%3Dcd");
  EXPECT_EQ(client.ResponseCode(), 200);
  EXPECT_EQ(http.server.transportsCreated, 1);
}

TEST(TIdHTTP, PostOfBodyAndGetPassBytesUnchanged) {
  ScopedFakeHttp http;
  const std::string binary("\x00\xFF<a/>\r\n", 8);
  http.server.Respond(200, binary);
  http.server.Respond(204, "");
  TIdHTTP client;
  EXPECT_EQ(client.Post("http://h/services/TicketManage", binary, "text/xml; charset=utf-8",
                        {{"SOAPAction", "\"\""}}),
            binary);
  const auto& post = http.server.requests[0];
  EXPECT_EQ(post.body, binary);
  EXPECT_EQ(HeaderOf(post, "Content-Type"), "text/xml; charset=utf-8");
  EXPECT_EQ(HeaderOf(post, "SOAPAction"), "\"\"");
  EXPECT_EQ(client.Get("http://h/view_invoice?a=1 2"), "");
  EXPECT_EQ(http.server.requests[1].method, "GET");
  EXPECT_EQ(http.server.requests[1].url, "http://h/view_invoice?a=1 2");
  EXPECT_EQ(http.server.requests[1].body, "");
  EXPECT_EQ(client.ResponseCode(), 204);
}

TEST(TIdHTTP, ErrorStatusRaisesProtocolExceptionKeepingBody) {
  ScopedFakeHttp http;
  const struct {
    int status;
    std::string reason;
    std::string message;
  } cases[] = {
      {500, "Internal Server Error", "HTTP/1.1 500 Internal Server Error"},
      {500, "", "HTTP/1.1 500 Internal Server Error"},
      {404, "", "HTTP/1.1 404 Not Found"},
      {404, "Nope\r\n\x01", "HTTP/1.1 404 Nope"},
      {400, "", "HTTP/1.1 400 Bad Request"},
      {599, "", "HTTP/1.1 599 Unknown Error"},
  };
  TIdHTTP client;
  for (const auto& c : cases) {
    http.server.Respond(c.status, "<soap:Fault/>", {}, c.reason);
    try {
      client.Get("http://h/x");
      ADD_FAILURE() << c.status << " did not raise";
    } catch (const EIdHTTPProtocolException& e) {
      EXPECT_EQ(e.Message(), c.message);
      EXPECT_EQ(e.ErrorCode(), c.status);
      EXPECT_EQ(e.ErrorMessage(), "<soap:Fault/>");
    }
    EXPECT_EQ(client.ResponseCode(), c.status);
  }
  // Below 400 is an answer, redirects included.
  http.server.Respond(302, "moved");
  http.server.Respond(399, "odd");
  EXPECT_EQ(client.Get("http://h/x"), "moved");
  EXPECT_EQ(client.Get("http://h/x"), "odd");
}

TEST(TIdHTTP, TransportFailuresReachTheCaller) {
  ScopedFakeHttp http;
  http.server.defaultResponse = {200, {}, R"({"code":"A00006"})"};
  http.server.FailNext(FakeHttpFault::kSocketError);
  http.server.FailNext(FakeHttpFault::kTimeout);
  http.server.FailNext(FakeHttpFault::kTruncatedBody);
  http.server.FailNext(FakeHttpFault::kGarbageBody);
  TIdHTTP client;
  EXPECT_THROW(client.Get("http://h/a"), EIdSocketError);
  EXPECT_EQ(client.ResponseCode(), 0);
  try {
    client.Get("http://h/b");
    ADD_FAILURE();
  } catch (const EIdSocketError& e) {
    EXPECT_EQ(e.Message(), "HTTP request to http://h/b failed: Timeout was reached");
  }
  EXPECT_EQ(client.Get("http://h/c"), R"({"code":)");
  EXPECT_NE(client.Get("http://h/d"), R"({"code":"A00006"})");
  EXPECT_EQ(client.Get("http://h/e"), R"({"code":"A00006"})");
  EXPECT_EQ(http.server.requests.size(), 5u);
}

TEST(MakeHttpTransport, FactoryServesEveryNewClientUntilRemoved) {
  {
    ScopedFakeHttp http;
    TIdHTTP a, b;
    EXPECT_EQ(http.server.transportsCreated, 2);
    EXPECT_NE(dynamic_cast<quorl::test::FakeHttpTransport*>(&a.Transport()), nullptr);
  }
  TIdHTTP real;
  EXPECT_NE(dynamic_cast<quorl::CurlHttpTransport*>(&real.Transport()), nullptr);
}

// A cpp-httplib server on 127.0.0.1, any free port, stopped by the destructor.
class LoopbackServer {
 public:
  httplib::Server server;

  void Start() {
    port_ = server.bind_to_any_port("127.0.0.1");
    ASSERT_GT(port_, 0);
    thread_ = std::thread([this] { server.listen_after_bind(); });
    // stop() is lost on a server whose loop has not begun yet.
    for (int i = 0; i < 500 && !server.is_running(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_TRUE(server.is_running());
  }
  ~LoopbackServer() {
    Release();
    server.stop();
    if (thread_.joinable()) thread_.join();
  }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  // Handlers that stall wait on this, so a test can end them early.
  bool WaitForRelease(std::chrono::seconds limit) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, limit, [this] { return released_; });
  }
  void Release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    cv_.notify_all();
  }

 private:
  int port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable cv_;
  bool released_ = false;
};

TEST(CurlHttpTransport, GetAndPostAgainstLoopbackServer) {
  LoopbackServer s;
  std::vector<int> clientPorts;
  s.server.Get("/view_invoice", [&](const httplib::Request& req, httplib::Response& res) {
    clientPorts.push_back(req.remote_port);
    res.set_content("sdate=" + req.get_param_value("sdate") + " card=" + req.get_param_value("card_no"),
                    "text/plain");
  });
  s.server.Post("/services/TicketManage", [&](const httplib::Request& req, httplib::Response& res) {
    clientPorts.push_back(req.remote_port);
    res.set_content(
        req.get_header_value("Content-Type") + "|" + req.get_header_value("SOAPAction") + "|" + req.body,
        "text/xml");
  });
  s.Start();

  TIdHTTP client(std::make_unique<quorl::CurlHttpTransport>());
  // Raw values with a blank and GBK bytes travel; the server decodes them back.
  EXPECT_EQ(client.Get(s.Url("/view_invoice?card_no=\xD6\xD0&sdate=2024-01-01 00:00:00")),
            "sdate=2024-01-01 00:00:00 card=\xD6\xD0");
  std::string big(200000, 'x');
  big[0] = '\0';
  EXPECT_EQ(client.Post(s.Url("/services/TicketManage"), big, "text/xml", {{"SOAPAction", "\"\""}}),
            "text/xml|\"\"|" + big);
  EXPECT_EQ(client.ResponseCode(), 200);
  // One handle per transport: the second exchange reused the connection.
  ASSERT_EQ(clientPorts.size(), 2u);
  EXPECT_EQ(clientPorts[0], clientPorts[1]);
}

TEST(CurlHttpTransport, ErrorStatusKeepsBodyAndReason) {
  LoopbackServer s;
  s.server.Post("/fault", [](const httplib::Request&, httplib::Response& res) {
    res.status = 500;
    res.set_content("<Envelope><Fault/></Envelope>", "text/xml");
  });
  s.Start();
  quorl::CurlHttpTransport transport;
  const quorl::HttpResponse raw = transport.Send({"POST", s.Url("/fault"), {}, "<Envelope/>"});
  EXPECT_EQ(raw.status, 500);
  using Header = std::pair<std::string, std::string>;
  EXPECT_EQ(raw.reason, "Internal Server Error");
  EXPECT_NE(std::find(raw.headers.begin(), raw.headers.end(), Header("Content-Type", "text/xml")),
            raw.headers.end());

  TIdHTTP client(std::make_unique<quorl::CurlHttpTransport>());
  try {
    client.Post(s.Url("/fault"), "<Envelope/>", "text/xml");
    ADD_FAILURE();
  } catch (const EIdHTTPProtocolException& e) {
    EXPECT_EQ(e.Message(), "HTTP/1.1 500 Internal Server Error");
    EXPECT_EQ(e.ErrorCode(), 500);
    EXPECT_EQ(e.ErrorMessage(), "<Envelope><Fault/></Envelope>");
  }
  try {
    client.Get(s.Url("/nowhere"));
    ADD_FAILURE();
  } catch (const EIdHTTPProtocolException& e) {
    EXPECT_EQ(e.Message(), "HTTP/1.1 404 Not Found");
    EXPECT_EQ(e.ErrorCode(), 404);
  }
}

TEST(CurlHttpTransport, RefusedConnectionNamesCauseAndUrl) {
  std::string url;
  {
    LoopbackServer s;
    s.Start();
    url = s.Url("/x");
  }  // stopped: the port is closed now
  quorl::CurlHttpTransport transport;
  try {
    transport.Send({"GET", url, {}, ""});
    ADD_FAILURE();
  } catch (const EIdSocketError& e) {
    // libcurl's summary first, then its detailed reason, on one line.
    const std::string expected =
        "HTTP request to " + url + " failed: Couldn't connect to server: Failed to connect to";
    EXPECT_EQ(e.Message().substr(0, expected.size()), expected);
    EXPECT_EQ(e.Message().find('\n'), std::string::npos);
  }
}

class ScopedStallLimit {
 public:
  explicit ScopedStallLimit(quorl::HttpStallLimit limit) : saved_(quorl::GetHttpStallLimit()) {
    quorl::SetHttpStallLimit(limit);
  }
  ~ScopedStallLimit() { quorl::SetHttpStallLimit(saved_); }

 private:
  quorl::HttpStallLimit saved_;
};

// A slow answer that keeps coming is waited for however long it takes; one
// that stalls, or trickles below the limit, is given up while the server is
// still at it.
TEST(CurlHttpTransport, GivesUpOnAStallButNotOnASlowAnswer) {
  LoopbackServer s;
  std::atomic<bool> finished{false};
  // One byte every 100 ms, total bytes in all, then the end of the answer.
  const auto drip = [&finished](int total) {
    return [&finished, total](const httplib::Request&, httplib::Response& res) {
      res.set_chunked_content_provider("text/plain",
                                       [&finished, total, sent = 0](size_t, httplib::DataSink& sink) mutable {
                                         if (sent == total) {
                                           finished = true;
                                           sink.done();
                                           return true;
                                         }
                                         std::this_thread::sleep_for(std::chrono::milliseconds(100));
                                         ++sent;
                                         return sink.write("x", 1);
                                       });
    };
  };
  // 30 bytes: three times the stall window in all.
  s.server.Get("/trickle", drip(30));
  // The same pace without end: ten bytes a second for a minute.
  s.server.Get("/crawl", drip(600));
  // A few bytes, then nothing until the test ends.
  s.server.Get("/stall", [&](const httplib::Request&, httplib::Response& res) {
    res.set_chunked_content_provider("text/plain",
                                     [&, sent = false](size_t, httplib::DataSink& sink) mutable {
                                       if (!sent) {
                                         sent = true;
                                         return sink.write("begun", 5);
                                       }
                                       s.WaitForRelease(std::chrono::seconds(30));
                                       finished = true;
                                       return false;
                                     });
  });
  // No answer at all while the server works.
  s.server.Get("/hold", [&](const httplib::Request&, httplib::Response& res) {
    s.WaitForRelease(std::chrono::seconds(30));
    finished = true;
    res.set_content("late", "text/plain");
  });
  s.Start();

  const struct {
    const char* path;
    quorl::HttpStallLimit limit;
    bool givesUp;
  } cases[] = {
      {"/trickle", {1, 1}, false},
      {"/crawl", {1000, 1}, true},
      {"/stall", {1, 1}, true},
      {"/hold", {1, 1}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    finished = false;
    ScopedStallLimit limit(c.limit);
    quorl::CurlHttpTransport transport;
    try {
      const quorl::HttpResponse r = transport.Send({"GET", s.Url(c.path), {}, ""});
      EXPECT_FALSE(c.givesUp);
      EXPECT_EQ(r.body, std::string(30, 'x'));
    } catch (const EIdSocketError& e) {
      EXPECT_TRUE(c.givesUp) << e.Message();
      EXPECT_EQ(e.Message(), "HTTP request to " + s.Url(c.path) + " failed: timed out: fewer than " +
                                 std::to_string(c.limit.bytes) + " bytes in 1 seconds");
      EXPECT_FALSE(finished) << "the client waited for the server to finish";
    }
  }

  // Values below 1 take the defaults.
  ScopedStallLimit odd({0, -5});
  EXPECT_EQ(quorl::GetHttpStallLimit(), quorl::HttpStallLimit{});
}

TEST(CurlHttpTransport, RefusesAnswerLargerThanTheCap) {
  LoopbackServer s;
  // Declared too large: refused from the headers alone.
  s.server.Get("/declared", [](const httplib::Request&, httplib::Response& res) {
    res.set_content_provider(quorl::kHttpMaxBodyBytes + 1, "application/octet-stream",
                             [](size_t, size_t length, httplib::DataSink& sink) {
                               std::string chunk(std::min<size_t>(length, 1 << 20), 'x');
                               return sink.write(chunk.data(), chunk.size());
                             });
  });
  // No length given: refused once the received bytes pass the cap.
  s.server.Get("/endless", [](const httplib::Request&, httplib::Response& res) {
    res.set_chunked_content_provider("application/octet-stream",
                                     [sent = size_t{0}](size_t, httplib::DataSink& sink) mutable {
                                       if (sent > quorl::kHttpMaxBodyBytes * 2) return false;
                                       std::string chunk(1 << 20, 'y');
                                       sent += chunk.size();
                                       return sink.write(chunk.data(), chunk.size());
                                     });
  });
  s.Start();
  quorl::CurlHttpTransport transport;
  for (const char* path : {"/declared", "/endless"}) {
    try {
      transport.Send({"GET", s.Url(path), {}, ""});
      ADD_FAILURE() << path;
    } catch (const EIdSocketError& e) {
      EXPECT_EQ(e.Message(), "HTTP request to " + s.Url(path) + " failed: answer too large");
    }
  }
}

TEST(CurlHttpTransport, IgnoresProxyEnvironmentAndNonHttpSchemes) {
  LoopbackServer s;
  s.server.Get("/ping", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("pong", "text/plain");
  });
  s.Start();
  // A proxy that does not exist: used, it would fail the request.
  struct ProxyEnvironment {
    ProxyEnvironment() {
      ::setenv("http_proxy", "http://127.0.0.1:9", 1);
      ::setenv("ALL_PROXY", "http://127.0.0.1:9", 1);
    }
    ~ProxyEnvironment() {
      ::unsetenv("http_proxy");
      ::unsetenv("ALL_PROXY");
    }
  };
  quorl::CurlHttpTransport transport;
  quorl::HttpResponse r;
  {
    ProxyEnvironment env;
    r = transport.Send({"GET", s.Url("/ping"), {}, ""});
  }
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, "pong");
  EXPECT_THROW(transport.Send({"GET", "file:///etc/passwd", {}, ""}), EIdSocketError);
  EXPECT_THROW(transport.Send({"GET", "", {}, ""}), EIdSocketError);
}

}  // namespace
