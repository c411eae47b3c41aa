#include "serve/http_server.h"

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <list>
#include <memory>
#include <mutex>
#include <semaphore>
#include <thread>

#include "platform/stop_signals.h"
#include "serve/serve_error.h"
#include "settings/run_log.h"

namespace cubemill::serve {
namespace {

constexpr const char* kPath = "/xmla";

// "1 request", "64 requests".
std::string Counted(std::uint64_t count, const std::string& noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

// Cancels the queries that run past their time: each request registers its flag with its
// deadline; a thread looks every tenth of a second.
class Watchdog {
 public:
  Watchdog() : thread_([this] { Run(); }) {}
  ~Watchdog() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

  using Clock = std::chrono::steady_clock;
  struct Entry {
    Clock::time_point deadline;
    std::atomic<bool>* cancel;
  };
  std::list<Entry>::iterator Watch(std::atomic<bool>* cancel, std::chrono::seconds limit) {
    const std::lock_guard<std::mutex> lock(mutex_);
    return entries_.insert(entries_.end(), {Clock::now() + limit, cancel});
  }
  // Cancels every query that runs: the server stops.
  void CancelAll() {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (Entry& entry : entries_) entry.cancel->store(true);
  }
  void Forget(std::list<Entry>::iterator entry) {
    const std::lock_guard<std::mutex> lock(mutex_);
    entries_.erase(entry);
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
      wake_.wait_for(lock, std::chrono::milliseconds(100));
      const Clock::time_point now = Clock::now();
      for (Entry& entry : entries_) {
        if (entry.deadline <= now) entry.cancel->store(true);
      }
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::list<Entry> entries_;
  bool stopping_ = false;
  std::thread thread_;
};

// One line per request, its fields separated by ";" and each folded into one line without a
// ";" of its own, so that nothing a client sends can add a line or a field.
class AccessLog {
 public:
  explicit AccessLog(const std::string& path) {
    if (!path.empty()) file_.open(path, std::ios::app);
  }
  bool Good(const std::string& path) const { return path.empty() || file_.is_open(); }
  void Write(const std::vector<std::string>& fields) {
    std::string line;
    for (const std::string& field : fields) {
      if (!line.empty()) line += ';';
      line += settings::JobField(field);
    }
    line += '\n';
    const std::lock_guard<std::mutex> lock(mutex_);
    if (file_.is_open()) {
      file_ << line << std::flush;
    } else {
      std::fputs(line.c_str(), stderr);
    }
  }

 private:
  std::mutex mutex_;
  std::ofstream file_;
};

// The first `bytes` bytes of `text`, or fewer so that no UTF-8 character is cut.
std::string Shortened(const std::string& text, std::size_t bytes) {
  if (text.size() <= bytes) return text;
  while (bytes > 0 && (static_cast<unsigned char>(text[bytes]) & 0xC0u) == 0x80u) --bytes;
  return text.substr(0, bytes);
}

std::string Now() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

// The request's user when the users accept its credentials, "" when there are no users to
// check; nothing when it must authenticate.
std::optional<std::string> Authenticated(const HttpOptions& options,
                                         const httplib::Request& request) {
  if (options.users == nullptr) return std::string();
  const auto credentials = BasicCredentials(request.get_header_value("Authorization"));
  if (!credentials || !options.users->Accepts(credentials->first, credentials->second))
    return std::nullopt;
  return credentials->first;
}

// Sends `reply` in pieces as it is written; `done` is called once the last piece went out (true)
// or the writing stopped (false: the client went away).
void SendReply(httplib::Response& response, std::shared_ptr<Reply> reply,
               std::function<void(bool sent)> done = nullptr) {
  response.status = reply->status;
  response.set_chunked_content_provider(
      reply->content_type,
      [reply](std::size_t, httplib::DataSink& sink) {
        XmlWriter out([&sink](std::string_view piece) {
          return sink.is_writable() && sink.write(piece.data(), piece.size());
        });
        reply->write(out);
        if (out.Good()) sink.done();
        return out.Good();
      },
      [done = std::move(done)](bool sent) {
        if (done) done(sent);
      });
}

// A reply of the service's own, for what never reached it.
void SendFault(httplib::Response& response, const std::string& message, int status) {
  SendReply(response, std::make_shared<Reply>(XmlaService::Fault(message, status)));
}

struct Server {
  XmlaService& service;
  const HttpOptions& options;
  AccessLog log;
  Watchdog watchdog;
  std::atomic<std::size_t> running{0};
  // The queries answered at once: as many as the machine has cores. Requests past them wait;
  // past max_concurrent requests in all, a request gets a fault at once.
  std::counting_semaphore<> cores;

  // One access-log line: time, client, user, catalog, the statement's first 200 characters,
  // status, cells, milliseconds until the answer was sent (or the client went away: "status!").
  void Log(const std::string& client, const std::string& user, const Reply* reply,
           const std::string& status, std::chrono::steady_clock::time_point started) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - started)
                        .count();
    log.Write({Now(), client, user, reply != nullptr ? reply->catalog : "",
               reply != nullptr ? Shortened(reply->statement, 200) : "", status,
               std::to_string(reply != nullptr ? reply->cells : 0), std::to_string(ms)});
  }

  void Handle(const httplib::Request& request, httplib::Response& response) {
    const auto started = std::chrono::steady_clock::now();
    const std::optional<std::string> authenticated = Authenticated(options, request);
    if (!authenticated) {
      response.status = 401;
      response.set_header("WWW-Authenticate", "Basic realm=\"cubemill-serve\"");
      response.set_content("authentication required\n", "text/plain");
      Log(request.remote_addr, "-", nullptr, "401", started);
      return;
    }
    const std::string user = authenticated->empty() ? "-" : *authenticated;
    std::shared_ptr<Reply> reply = Answer(request);
    // The log line is written when the answer has gone out, with what it cost in all.
    SendReply(response, reply,
              [this, client = request.remote_addr, user, reply, started](bool sent) {
                const std::string status = std::to_string(reply->status) + (sent ? "" : "!");
                Log(client, user, reply.get(), status, started);
              });
  }

  std::shared_ptr<Reply> Answer(const httplib::Request& request) {
    if (running.fetch_add(1) >= options.max_concurrent) {
      running.fetch_sub(1);
      return std::make_shared<Reply>(XmlaService::Fault(
          "the server is answering " + Counted(options.max_concurrent, "request") +
              " already; try again shortly",
          503));
    }
    std::atomic<bool> cancel{false};
    const auto watched = watchdog.Watch(&cancel, std::chrono::seconds(options.query_seconds));
    cores.acquire();
    auto reply = std::make_shared<Reply>(service.Answer(request.body, &cancel));
    cores.release();
    watchdog.Forget(watched);
    running.fetch_sub(1);
    if (cancel.load() && !reply->fault.empty())
      reply = std::make_shared<Reply>(
          XmlaService::Fault("the query ran longer than " +
                             Counted(static_cast<std::uint64_t>(options.query_seconds), "second") +
                             " and was cancelled"));
    return reply;
  }
};

}  // namespace

bool IsLoopback(const std::string& host) {
  return host == "localhost" || host == "::1" || host.starts_with("127.");
}

std::string ListenProblem(const HttpOptions& options) {
  if (IsLoopback(options.host)) return "";
  if (options.users == nullptr || options.users->Empty())
    return "listening on " + options.host +
           ", which is not a loopback address, needs users (--users FILE)";
  if (options.tls_cert.empty() || options.tls_key.empty())
    return "listening on " + options.host +
           ", which is not a loopback address, needs TLS (--tls-cert and --tls-key): passwords "
           "are not sent over plain HTTP";
  return "";
}

std::optional<Error> Serve(XmlaService& service, const HttpOptions& options,
                           const std::function<void(const std::string& url)>& on_listening) {
  if (const std::string problem = ListenProblem(options); !problem.empty())
    return ServeError(problem);
  const std::size_t cores = options.threads != 0
                                ? options.threads
                                : std::max<std::size_t>(2, std::thread::hardware_concurrency());
  Server server{service, options, AccessLog(options.access_log),
                {},      {},      std::counting_semaphore<>(static_cast<std::ptrdiff_t>(cores))};
  if (!server.log.Good(options.access_log))
    return ServeError("cannot write the access log " + options.access_log);
  const bool tls = !options.tls_cert.empty();
  std::unique_ptr<httplib::Server> http =
      tls ? std::make_unique<httplib::SSLServer>(options.tls_cert.c_str(), options.tls_key.c_str())
          : std::make_unique<httplib::Server>();
  if (!http->is_valid()) return ServeError("cannot read the TLS certificate or key");
  // A connection holds a thread while it is open (a slow client, a kept-alive one), so there is
  // one for each request that may be answered at once, and a few more.
  const std::size_t threads = options.max_concurrent + 4;
  http->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  // An answer goes out in pieces (chunked): without TCP_NODELAY its last small piece waits for
  // the client's delayed acknowledgement, some 40 ms per request.
  http->set_tcp_nodelay(true);
  http->set_payload_max_length(options.max_body_bytes);
  http->set_read_timeout(options.idle_seconds, 0);
  http->set_write_timeout(options.idle_seconds, 0);
  http->Post(kPath, [&server](const httplib::Request& request, httplib::Response& response) {
    server.Handle(request, response);
  });
  http->set_error_handler([&options, &server](const httplib::Request& request,
                                              httplib::Response& response) {
    if (response.status == 413)
      SendFault(response,
                "the request is larger than " + std::to_string(options.max_body_bytes) + " bytes",
                413);
    // What never reached the handler (another path or method, a body too large) is logged here;
    // the handler logs its own answers once they went out.
    const bool handled =
        request.method == "POST" && request.path == kPath && response.status != 413;
    if (!handled)
      server.Log(request.remote_addr, "-", nullptr, std::to_string(response.status),
                 std::chrono::steady_clock::now());
  });

  // A stop signal (platform/stop_signals.h, installed by main) stops the server; so does the end
  // of Serve for another reason.
  std::atomic<bool> done{false};
  std::thread waiter([&] {
    while (!done.load() && !platform::WaitUnlessStopped(std::chrono::milliseconds(200))) {
    }
    server.watchdog.CancelAll();
    http->stop();
  });

  std::optional<Error> failure;
  const int port = options.port == 0
                       ? http->bind_to_any_port(options.host)
                       : (http->bind_to_port(options.host, options.port) ? options.port : -1);
  if (port < 0) {
    failure = ServeError("cannot listen on " + options.host + ":" + std::to_string(options.port));
  } else {
    const std::string host =
        options.host.find(':') != std::string::npos ? "[" + options.host + "]" : options.host;
    on_listening((tls ? "https://" : "http://") + host + ":" + std::to_string(port) + kPath);
    http->listen_after_bind();
  }
  done.store(true);
  waiter.join();
  return failure;
}

}  // namespace cubemill::serve
