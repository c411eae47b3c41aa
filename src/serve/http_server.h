// Serves XML for Analysis over HTTP (or HTTPS): POST /xmla, with Basic authentication, limits on
// requests, and a line in the access log per request.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>

#include "serve/users_file.h"
#include "serve/xmla_service.h"

namespace cubemill::serve {

struct HttpOptions {
  std::string host = "127.0.0.1";
  int port = 8080;                       // 0: a free port, said when listening
  std::string tls_cert, tls_key;         // both for HTTPS
  const UsersFile* users = nullptr;      // nullptr: no authentication
  std::size_t max_body_bytes = 1 << 20;  // a larger request gets a fault
  std::size_t threads = 0;               // queries answered at once; 0: the machine's cores
  std::size_t max_concurrent = 64;       // requests answered at once; more get a fault
  int query_seconds = 120;               // a longer query is cancelled
  int idle_seconds = 10;                 // a client silent this long is dropped
  std::string access_log;                // file of the access log; "" for standard error
};

// Whether `host` is a loopback address (127.0.0.0/8, ::1, localhost).
bool IsLoopback(const std::string& host);

// Why the server may not start with `options` ("" when it may): off loopback it needs users
// and TLS, so that no password crosses a network in clear.
std::string ListenProblem(const HttpOptions& options);

// Serves `service` until a stop signal arrives (platform::InstallStopSignalHandlers, which main
// calls; running queries are then cancelled). Calls
// `on_listening` with the URL once it accepts requests. Returns the failure to start.
std::optional<Error> Serve(XmlaService& service, const HttpOptions& options,
                           const std::function<void(const std::string& url)>& on_listening);

}  // namespace cubemill::serve
