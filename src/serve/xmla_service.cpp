#include "serve/xmla_service.h"

#include <algorithm>
#include <memory>
#include <random>

#include "platform/ascii_text.h"
#include "query/query_failure.h"
#include "serve/execute.h"

namespace cubemill::serve {
namespace {

constexpr std::string_view kXmlDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
constexpr std::string_view kSoapNamespace = "http://schemas.xmlsoap.org/soap/envelope/";
constexpr std::string_view kXmlaNamespace = "urn:schemas-microsoft-com:xml-analysis";

// Opens the envelope up to the Body, with the session header when there is a session.
void OpenEnvelope(XmlWriter& out, const std::string& session) {
  out.Raw(kXmlDeclaration);
  out.Open("SOAP-ENV:Envelope",
           {{"xmlns:SOAP-ENV", kSoapNamespace},
            {"SOAP-ENV:encodingStyle", "http://schemas.xmlsoap.org/soap/encoding/"}});
  out.Open("SOAP-ENV:Header");
  if (!session.empty()) out.Empty("Session", {{"xmlns", kXmlaNamespace}, {"SessionId", session}});
  out.Close();
  out.Open("SOAP-ENV:Body");
}

void CloseEnvelope(XmlWriter& out) {
  out.Close();  // Body
  out.Close();  // Envelope
  out.Flush();
}

// <DiscoverResponse><return>...</return></DiscoverResponse> around what `body` writes.
void WriteResponse(XmlWriter& out, std::string_view method, const std::string& session,
                   const std::function<void(XmlWriter&)>& body) {
  OpenEnvelope(out, session);
  const std::string element = "cxmla:" + std::string(method) + "Response";
  out.Open(element, {{"xmlns:cxmla", kXmlaNamespace}});
  out.Open("cxmla:return");
  body(out);
  out.Close();
  out.Close();
  CloseEnvelope(out);
}

constexpr char kBadSession[] =
    "the session id is no session id of this server (letters, digits, \"-\", \"_\", braces; at "
    "most 64)";

std::string NewSessionId() {
  std::random_device random;
  std::string id;
  constexpr char kHex[] = "0123456789abcdef";
  for (int i = 0; i < 32; ++i) id += kHex[random() % 16];
  return id;
}

}  // namespace

XmlaService::XmlaService(CubeCatalogs& catalogs, ServerFacts facts, ServiceLimits limits)
    : catalogs_(catalogs), facts_(std::move(facts)), limits_(limits) {}

Reply XmlaService::Fault(std::string message, int status) {
  Reply reply;
  reply.status = status;
  reply.fault = message;
  reply.write = [message = std::move(message)](XmlWriter& out) {
    OpenEnvelope(out, "");
    out.Open("SOAP-ENV:Fault");
    out.Element("faultcode", "SOAP-ENV:Client.00000000");
    out.Element("faultstring", message);
    out.Element("faultactor", "Cubemill");
    out.Open("detail");
    out.Empty("Error", {{"ErrorCode", "3238658121"},
                        {"Description", message},
                        {"Source", "Cubemill"},
                        {"HelpFile", ""}});
    out.Close();
    out.Close();
    CloseEnvelope(out);
  };
  return reply;
}

std::optional<std::string> XmlaService::SessionFor(const XmlaRequest& request) {
  // Sessions hold no state an answer depends on, so none is kept: a new session gets a new id,
  // a known one is echoed, and a server restarted between two requests goes on. An id is only
  // echoed when it looks like one, so that a client cannot make the server repeat what it likes.
  switch (request.session) {
    case XmlaRequest::Session::kNone:
    case XmlaRequest::Session::kEnd:
      return std::string();
    case XmlaRequest::Session::kBegin:
      return NewSessionId();
    case XmlaRequest::Session::kUse:
      break;
  }
  const std::string& id = request.session_id;
  const bool sane = !id.empty() && id.size() <= 64 && std::all_of(id.begin(), id.end(), [](char c) {
    return platform::IsAsciiLetterOrDigit(c) || c == '-' || c == '_' || c == '{' || c == '}';
  });
  if (!sane) return std::nullopt;
  return id;
}

Reply XmlaService::Answer(std::string_view body, const std::atomic<bool>* cancel) {
  Result<XmlaRequest> request = ReadSoapRequest(body, limits_.request);
  if (!request && request.error().number == kNotSoap) {
    Reply reply;
    reply.status = 400;
    reply.fault = request.error().description;
    reply.write = [text = reply.fault](XmlWriter& out) {
      out.Raw(text + "\n");
      out.Flush();
    };
    reply.content_type = "text/plain; charset=utf-8";
    return reply;
  }
  if (!request) return Fault(request.error().description);
  return request->method == XmlaRequest::Method::kDiscover ? Discover(*request)
                                                           : Execute(*request, cancel);
}

Reply XmlaService::Discover(const XmlaRequest& request) {
  auto rowset = std::make_shared<Result<Rowset>>(serve::Discover(request, catalogs_, facts_));
  if (!*rowset) return Fault(rowset->error().description);
  // Content Schema asks for the rowset's schema alone.
  if (platform::EqualsIgnoringCase(request.Property("Content"), "Schema")) (*rowset)->rows.clear();
  Reply reply;
  reply.statement = request.request_type;
  reply.catalog = request.Property("Catalog");
  reply.cells = (*rowset)->rows.size();
  const std::optional<std::string> known = SessionFor(request);
  if (!known) return Fault(kBadSession);
  const std::string& session = *known;
  reply.write = [rowset, session](XmlWriter& out) {
    WriteResponse(out, "Discover", session, [&](XmlWriter& o) { WriteRowset(o, **rowset); });
  };
  return reply;
}

Reply XmlaService::Execute(const XmlaRequest& request, const std::atomic<bool>* cancel) {
  std::string catalog = request.Property("Catalog");
  if (catalog.empty()) {
    // Without a Catalog property a server of one catalog answers from it.
    const std::vector<std::string> names = catalogs_.Names();
    if (names.size() != 1) return Fault("the Execute request names no Catalog property");
    catalog = names.front();
  }
  const std::optional<std::string> known = SessionFor(request);
  if (!known) return Fault(kBadSession);
  const std::string& session = *known;
  const bool no_content = platform::EqualsIgnoringCase(request.Property("Content"), "None");
  if (request.statement.empty() || no_content) {
    // A request that only begins or ends a session has no statement, and one with Content None
    // asks for no answer: an empty root.
    Reply reply;
    reply.catalog = catalog;
    reply.write = [session](XmlWriter& out) {
      WriteResponse(out, "Execute", session, [](XmlWriter& o) {
        o.Empty("root", {{"xmlns", "urn:schemas-microsoft-com:xml-analysis:empty"}});
      });
    };
    return reply;
  }
  Result<OpenCube::Lease> lease = catalogs_.Borrow(catalog);
  if (!lease) return Fault(lease.error().description);
  query::QueryOptions options;
  options.max_cells = limits_.max_cells;
  options.max_axis_tuples = limits_.max_axis_tuples;
  options.cancel = cancel;
  const bool tabular = platform::EqualsIgnoringCase(request.Property("Format"), "Tabular");
  auto answer = std::make_shared<Result<ExecuteAnswer>>(
      AnswerStatement(*lease, request.statement, options, tabular));
  if (!*answer) {
    Reply fault = Fault(answer->error().description);
    fault.catalog = catalog;
    fault.statement = request.statement;
    return fault;
  }
  Reply reply;
  reply.catalog = catalog;
  reply.statement = request.statement;
  reply.cells = CellCount(**answer);
  auto held = std::make_shared<OpenCube::Lease>(std::move(*lease));
  reply.write = [answer, held, session](XmlWriter& out) {
    WriteResponse(out, "Execute", session,
                  [&](XmlWriter& o) { WriteAnswer(held->Cube(), **answer, o); });
  };
  return reply;
}

}  // namespace cubemill::serve
