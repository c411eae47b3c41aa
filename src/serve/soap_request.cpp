#include "serve/soap_request.h"

#include <optional>
#include <pugixml.hpp>

#include "platform/ascii_text.h"
#include "serve/serve_error.h"

namespace cubemill::serve {
namespace {

// The name of `node` without its namespace prefix.
std::string_view LocalName(const pugi::xml_node& node) {
  const std::string_view name = node.name();
  const std::size_t colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// The first child element of `node` whose local name is `name`, compared as ASCII without regard
// to letter case (clients send "PropertyList" and "Propertylist").
pugi::xml_node Child(const pugi::xml_node& node, std::string_view name) {
  for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
    if (child.type() == pugi::node_element && platform::EqualsIgnoringCase(LocalName(child), name))
      return child;
  }
  return {};
}

// The text of `node`: its character data and CDATA, trimmed.
std::string TextOf(const pugi::xml_node& node) {
  std::string text;
  for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata)
      text += child.value();
  }
  return std::string(platform::TrimBlanks(text));
}

// Fails for a document nested or sized past `limits`, walking it without recursion.
std::optional<Error> CheckShape(const pugi::xml_document& document, const RequestLimits& limits) {
  std::size_t depth = 0, elements = 0;
  pugi::xml_node node = document.first_child();
  while (node) {
    if (node.type() == pugi::node_element) {
      if (++elements > limits.max_elements)
        return ServeError("the request holds more than " + std::to_string(limits.max_elements) +
                          " elements");
      if (depth + 1 > limits.max_depth)
        return ServeError("the request nests elements more than " +
                          std::to_string(limits.max_depth) + " deep");
    }
    if (node.first_child()) {
      node = node.first_child();
      ++depth;
      continue;
    }
    while (node && !node.next_sibling()) {
      node = node.parent();
      if (depth == 0) return std::nullopt;
      --depth;
    }
    if (node) node = node.next_sibling();
  }
  return std::nullopt;
}

void ReadRestrictions(const pugi::xml_node& discover, XmlaRequest& request) {
  const pugi::xml_node list = Child(Child(discover, "Restrictions"), "RestrictionList");
  for (pugi::xml_node item = list.first_child(); item; item = item.next_sibling()) {
    if (item.type() != pugi::node_element) continue;
    Restriction restriction{std::string(LocalName(item)), {}};
    // A restriction of several values lists them as <Value> children.
    bool listed = false;
    for (pugi::xml_node value = item.first_child(); value; value = value.next_sibling()) {
      if (value.type() != pugi::node_element) continue;
      restriction.values.push_back(TextOf(value));
      listed = true;
    }
    if (!listed) restriction.values.push_back(TextOf(item));
    // The same restriction given twice adds its values.
    bool merged = false;
    for (Restriction& earlier : request.restrictions) {
      if (earlier.name != restriction.name) continue;
      earlier.values.insert(earlier.values.end(), restriction.values.begin(),
                            restriction.values.end());
      merged = true;
    }
    if (!merged) request.restrictions.push_back(std::move(restriction));
  }
}

void ReadProperties(const pugi::xml_node& method, XmlaRequest& request) {
  const pugi::xml_node list = Child(Child(method, "Properties"), "PropertyList");
  for (pugi::xml_node item = list.first_child(); item; item = item.next_sibling()) {
    if (item.type() == pugi::node_element)
      request.properties.emplace_back(std::string(LocalName(item)), TextOf(item));
  }
}

void ReadSession(const pugi::xml_node& header, XmlaRequest& request) {
  for (pugi::xml_node item = header.first_child(); item; item = item.next_sibling()) {
    if (item.type() != pugi::node_element) continue;
    const std::string_view name = LocalName(item);
    if (name == "BeginSession") {
      request.session = XmlaRequest::Session::kBegin;
    } else if (name == "Session" || name == "EndSession") {
      request.session = name == "Session" ? XmlaRequest::Session::kUse : XmlaRequest::Session::kEnd;
      request.session_id = item.attribute("SessionId").value();
    }
  }
}

Error NotSoap(std::string description) {
  Error error = ServeError(std::move(description));
  error.number = kNotSoap;
  return error;
}

}  // namespace

std::string XmlaRequest::Property(std::string_view name, std::string_view fallback) const {
  for (const auto& [key, value] : properties) {
    if (platform::EqualsIgnoringCase(key, name)) return value;
  }
  return std::string(fallback);
}

Result<XmlaRequest> ReadSoapRequest(std::string_view body, const RequestLimits& limits) {
  pugi::xml_document document;
  // parse_doctype keeps a DOCTYPE as a node so that it can be refused; pugixml expands no entity
  // but the five of XML and character references in any case.
  const unsigned options = (pugi::parse_default | pugi::parse_doctype) & ~pugi::parse_pi;
  const pugi::xml_parse_result parsed =
      document.load_buffer(body.data(), body.size(), options, pugi::encoding_utf8);
  if (!parsed)
    return NotSoap(std::string("the request is no well-formed XML: ") + parsed.description() +
                   " at byte " + std::to_string(parsed.offset));
  for (pugi::xml_node node = document.first_child(); node; node = node.next_sibling()) {
    if (node.type() == pugi::node_doctype)
      return ServeError("the request has a document type declaration, which is not accepted");
  }
  if (auto shape = CheckShape(document, limits)) return *shape;
  const pugi::xml_node envelope = document.document_element();
  if (LocalName(envelope) != "Envelope") return NotSoap("the request is no SOAP envelope");
  const pugi::xml_node soap_body = Child(envelope, "Body");
  if (!soap_body) return ServeError("the SOAP envelope has no Body");
  XmlaRequest request;
  ReadSession(Child(envelope, "Header"), request);
  if (const pugi::xml_node discover = Child(soap_body, "Discover")) {
    request.method = XmlaRequest::Method::kDiscover;
    request.request_type = TextOf(Child(discover, "RequestType"));
    if (request.request_type.empty())
      return ServeError("the Discover request names no RequestType");
    ReadRestrictions(discover, request);
    ReadProperties(discover, request);
  } else if (const pugi::xml_node execute = Child(soap_body, "Execute")) {
    request.method = XmlaRequest::Method::kExecute;
    request.statement = TextOf(Child(Child(execute, "Command"), "Statement"));
    ReadProperties(execute, request);
  } else {
    return ServeError("the SOAP Body holds neither Discover nor Execute");
  }
  return request;
}

}  // namespace cubemill::serve
