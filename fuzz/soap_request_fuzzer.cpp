// Fuzzes the SOAP request reader of cubemill-serve with the input as the HTTP request's body. A
// refused body gives the server's error, numbered as no SOAP or not at all. An accepted request
// is whole (a Discover names its rowset, a session id only with Session or EndSession, each
// restriction once with a value), reads the same under tighter limits or none, and, written back
// as an envelope, reads back as the same request; with a document type declaration in front it
// is refused.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "serve/soap_request.h"

namespace {

using cubemill::fuzz::Check;
using cubemill::serve::ReadSoapRequest;
using cubemill::serve::RequestLimits;
using cubemill::serve::XmlaRequest;

// `text` as XML character data or attribute value: the markup characters as entities, the
// line breaks and tabs as character references (which reading keeps as they are, where raw ones
// are normalised).
std::string Escaped(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      case '\t':
        out += "&#9;";
        break;
      case '\n':
        out += "&#10;";
        break;
      case '\r':
        out += "&#13;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// An element of local name `name` (any prefix is stripped on reading, so one is always given:
// a name with a colon of its own keeps it) holding `text`.
std::string Element(const std::string& name, std::string_view text) {
  return "<x:" + name + ">" + Escaped(text) + "</x:" + name + ">";
}

std::string PropertiesText(const XmlaRequest& request) {
  std::string out = "<Properties><PropertyList>";
  for (const auto& [name, value] : request.properties) out += Element(name, value);
  return out + "</PropertyList></Properties>";
}

// `request` as a SOAP envelope in the form clients send.
std::string Envelope(const XmlaRequest& request) {
  std::string out =
      "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Header>";
  switch (request.session) {
    case XmlaRequest::Session::kNone:
      break;
    case XmlaRequest::Session::kBegin:
      out += "<BeginSession/>";
      break;
    case XmlaRequest::Session::kUse:
      out += "<Session SessionId=\"" + Escaped(request.session_id) + "\"/>";
      break;
    case XmlaRequest::Session::kEnd:
      out += "<EndSession SessionId=\"" + Escaped(request.session_id) + "\"/>";
      break;
  }
  out += "</soap:Header><soap:Body>";
  if (request.method == XmlaRequest::Method::kDiscover) {
    out += "<Discover>" + Element("RequestType", request.request_type) +
           "<Restrictions><RestrictionList>";
    for (const auto& restriction : request.restrictions) {
      out += "<x:" + restriction.name + ">";
      for (const std::string& value : restriction.values) out += Element("Value", value);
      out += "</x:" + restriction.name + ">";
    }
    out += "</RestrictionList></Restrictions>" + PropertiesText(request) + "</Discover>";
  } else {
    out += "<Execute><Command>" + Element("Statement", request.statement) + "</Command>" +
           PropertiesText(request) + "</Execute>";
  }
  return out + "</soap:Body></soap:Envelope>";
}

void CheckWhole(const XmlaRequest& request) {
  if (request.method == XmlaRequest::Method::kDiscover) {
    Check(!request.request_type.empty(), "a Discover without its rowset was accepted");
    Check(request.statement.empty(), "a Discover with a statement");
  } else {
    Check(request.request_type.empty() && request.restrictions.empty(),
          "an Execute with a rowset or restrictions");
  }
  const bool has_id = request.session == XmlaRequest::Session::kUse ||
                      request.session == XmlaRequest::Session::kEnd;
  Check(has_id || request.session_id.empty(), "a session id without Session or EndSession",
        request.session_id);
  for (std::size_t i = 0; i < request.restrictions.size(); ++i) {
    Check(!request.restrictions[i].values.empty(), "a restriction without a value",
          request.restrictions[i].name);
    for (std::size_t j = 0; j < i; ++j)
      Check(request.restrictions[j].name != request.restrictions[i].name,
            "a restriction listed twice", request.restrictions[i].name);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  const auto request = ReadSoapRequest(body);

  // Tighter limits refuse more, never read otherwise; no limit refuses less.
  const auto tight = ReadSoapRequest(body, RequestLimits{6, 40});
  const auto loose = ReadSoapRequest(body, RequestLimits{1'000'000, 1'000'000});
  if (tight) Check(request && *tight == *request, "tighter limits read the request otherwise");
  if (request) Check(loose && *loose == *request, "looser limits read the request otherwise");

  if (!request) {
    const auto& error = request.error();
    Check(error.source == "cubemill-serve", "a failure from another source", error.source);
    Check(!error.description.empty(), "a failure that says nothing");
    Check(error.number == 0 || error.number == cubemill::serve::kNotSoap,
          "a failure of another number", std::to_string(error.number));
    return 0;
  }
  CheckWhole(*request);

  const std::string written = Envelope(*request);
  const auto again = ReadSoapRequest(written);
  Check(again.ok(), "the written request is refused",
        written + "\n" + (again.ok() ? "" : again.error().description));
  Check(*again == *request, "the written request reads otherwise", written);

  // No document type declaration passes, with or without an internal subset.
  for (const char* doctype : {"<!DOCTYPE Envelope>", "<!DOCTYPE e [<!ENTITY x \"y\">]>"}) {
    const auto refused = ReadSoapRequest(doctype + written);
    Check(!refused.ok(), "a request with a document type declaration was accepted", doctype);
  }
  return 0;
}
