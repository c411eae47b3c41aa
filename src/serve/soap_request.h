// Reads an XML for Analysis request: a SOAP 1.1 envelope holding Discover or Execute, with its
// restrictions, properties, statement and session header.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/error.h"

namespace cubemill::serve {

// A restriction of a Discover request: its name and its values (most have one; a restriction
// may list several, each of which a row may match).
struct Restriction {
  std::string name;
  std::vector<std::string> values;
  bool operator==(const Restriction&) const = default;
};

struct XmlaRequest {
  enum class Method { kDiscover, kExecute };
  Method method = Method::kDiscover;
  std::string request_type;  // Discover: the rowset (MDSCHEMA_CUBES...), as sent
  std::vector<Restriction> restrictions;
  // The PropertyList's children, name and text, in the order sent.
  std::vector<std::pair<std::string, std::string>> properties;
  std::string statement;  // Execute: the command's statement (MDX)
  // The session header: none, BeginSession, Session (with its id) or EndSession (with its id).
  enum class Session { kNone, kBegin, kUse, kEnd };
  Session session = Session::kNone;
  std::string session_id;

  // The value of property `name` (compared without regard to letter case), or `fallback`.
  std::string Property(std::string_view name, std::string_view fallback = "") const;
  bool operator==(const XmlaRequest&) const = default;
};

// What a request may hold before it is refused.
struct RequestLimits {
  std::size_t max_depth = 64;         // elements nested in one another
  std::size_t max_elements = 100000;  // elements in all
};

// The number of the failure of a request that is not SOAP at all (no XML, or no envelope), which
// the server answers with an HTTP error rather than a SOAP fault.
inline constexpr long kNotSoap = 400;

// Reads `body` as a SOAP envelope. Fails, naming what is wrong, for text that is no well-formed
// XML (with the byte offset), for a document type declaration (so no entity of a request is
// ever expanded or fetched), for nesting or elements past `limits`, for an envelope without a
// Body, and for a Body holding neither Discover nor Execute. Names are matched by their local
// part: clients differ in their prefixes.
Result<XmlaRequest> ReadSoapRequest(std::string_view body, const RequestLimits& limits = {});

}  // namespace cubemill::serve
