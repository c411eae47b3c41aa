// Answers XML for Analysis requests, independent of how they arrive: parses the SOAP envelope,
// answers Discover from the rowsets and Execute through the query engine, and writes the SOAP
// response, or a SOAP fault carrying what went wrong.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>

#include "serve/cube_catalogs.h"
#include "serve/rowsets.h"
#include "serve/soap_request.h"
#include "serve/xml_writer.h"

namespace cubemill::serve {

struct ServiceLimits {
  std::size_t max_cells = 1'000'000;        // cells of one Execute answer
  std::size_t max_axis_tuples = 1'000'000;  // tuples of one axis
  RequestLimits request;                    // nesting and elements of a request
};

// A prepared response: its HTTP status, what the access log says of it, and how to write it.
struct Reply {
  int status = 200;
  std::string catalog;    // the catalog it read, "" for none
  std::string statement;  // the MDX of an Execute, the rowset of a Discover
  std::size_t cells = 0;  // cells of an Execute answer, rows of a Discover
  std::string fault;      // the fault's message, "" when answered
  std::string content_type = "text/xml; charset=utf-8";
  // Writes the SOAP envelope into the writer; the answer is complete before, so that only the
  // writing is left when the status is sent.
  std::function<void(XmlWriter&)> write;
};

class XmlaService {
 public:
  XmlaService(CubeCatalogs& catalogs, ServerFacts facts, ServiceLimits limits);

  // Answers `body` (a SOAP request). `cancel`, when set from another thread, stops a running
  // query (the reply is then a fault).
  Reply Answer(std::string_view body, const std::atomic<bool>* cancel);

  // Where clients reach the server, for DISCOVER_DATASOURCES; set before requests arrive.
  void SetUrl(std::string url) { facts_.url = std::move(url); }

  // A reply that is a SOAP fault with `message` and HTTP `status`.
  static Reply Fault(std::string message, int status = 500);

 private:
  Reply Discover(const XmlaRequest& request);
  Reply Execute(const XmlaRequest& request, const std::atomic<bool>* cancel);
  // The session id the response's header carries, "" for none.
  std::string SessionFor(const XmlaRequest& request);

  CubeCatalogs& catalogs_;
  ServerFacts facts_;
  ServiceLimits limits_;
  std::mutex sessions_mutex_;
  std::unordered_set<std::string> sessions_;
};

}  // namespace cubemill::serve
