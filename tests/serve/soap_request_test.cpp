// The reader of XML for Analysis requests: what clients send is read whatever their prefixes, and
// what an attacker sends (entities, deep nesting, no SOAP at all) is refused before anything is
// expanded or fetched.
#include "serve/soap_request.h"

#include <gtest/gtest.h>

#include <string>

#include "serve/xml_names.h"
#include "serve/xml_writer.h"

namespace cubemill::serve {
namespace {

std::string Envelope(const std::string& header, const std::string& body) {
  return "<?xml version=\"1.0\"?><s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\">"
         "<s:Header>" +
         header + "</s:Header><s:Body>" + body + "</s:Body></s:Envelope>";
}

TEST(SoapRequestTest, ReadsDiscoverWithRestrictionsPropertiesAndSession) {
  const auto request = ReadSoapRequest(Envelope(
      "<Session xmlns=\"urn:schemas-microsoft-com:xml-analysis\" SessionId=\"abc\"/>",
      "<x:Discover xmlns:x=\"urn:schemas-microsoft-com:xml-analysis\">"
      "<x:RequestType> MDSCHEMA_MEMBERS </x:RequestType><x:Restrictions><x:RestrictionList>"
      "<CATALOG_NAME>Sales</CATALOG_NAME><TREE_OP>1</TREE_OP>"
      "<MEMBER_UNIQUE_NAME><Value>[A]</Value><Value>[B]</Value></MEMBER_UNIQUE_NAME>"
      "</x:RestrictionList></x:Restrictions><x:Properties><x:Propertylist>"
      "<Catalog>Sales</Catalog><Format>Tabular</Format></x:Propertylist></x:Properties>"
      "</x:Discover>"));
  ASSERT_TRUE(request) << request.error().description;
  EXPECT_EQ(request->method, XmlaRequest::Method::kDiscover);
  EXPECT_EQ(request->request_type, "MDSCHEMA_MEMBERS");
  ASSERT_EQ(request->restrictions.size(), 3u);
  EXPECT_EQ(request->restrictions[2], (Restriction{"MEMBER_UNIQUE_NAME", {"[A]", "[B]"}}));
  EXPECT_EQ(request->Property("FORMAT"), "Tabular");
  EXPECT_EQ(request->session, XmlaRequest::Session::kUse);
  EXPECT_EQ(request->session_id, "abc");
}

TEST(SoapRequestTest, ReadsExecuteWithItsStatementInCdata) {
  const auto request = ReadSoapRequest(
      Envelope("<BeginSession xmlns=\"urn:schemas-microsoft-com:xml-analysis\"/>",
               "<Execute xmlns=\"urn:schemas-microsoft-com:xml-analysis\"><Command><Statement>"
               "<![CDATA[SELECT {[Measures].[Amount]} ON 0 FROM [Sales] WHERE [Store].[A&B]]]>"
               "</Statement></Command><Properties><PropertyList><Catalog>Sales</Catalog>"
               "</PropertyList></Properties></Execute>"));
  ASSERT_TRUE(request) << request.error().description;
  EXPECT_EQ(request->method, XmlaRequest::Method::kExecute);
  EXPECT_EQ(request->statement,
            "SELECT {[Measures].[Amount]} ON 0 FROM [Sales] WHERE [Store].[A&B]");
  EXPECT_EQ(request->session, XmlaRequest::Session::kBegin);
}

struct Refused {
  const char* what;
  std::string body;
  std::string message;  // a part of the failure's description
  bool not_soap;        // answered with an HTTP error, not a SOAP fault
};

TEST(SoapRequestTest, RefusesWhatIsNoSafeSoapRequest) {
  std::string deep;
  for (int i = 0; i < 100; ++i) deep += "<a>";
  for (int i = 0; i < 100; ++i) deep += "</a>";
  std::string wide;
  for (int i = 0; i < 200; ++i) wide += "<a/>";
  const Refused cases[] = {
      {"external entity",
       "<?xml version=\"1.0\"?><!DOCTYPE e [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>" +
           Envelope("", "<Execute><Command><Statement>&x;</Statement></Command></Execute>"),
       "document type declaration", false},
      {"entity expansion",
       "<!DOCTYPE l [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
       "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">]>" +
           Envelope("", "<Execute><Command><Statement>&c;</Statement></Command></Execute>"),
       "document type declaration", false},
      {"undeclared entity", Envelope("", "<Execute><Command><Statement>&x;</Statement>"),
       "no well-formed XML", true},
      {"deep nesting", Envelope("", deep), "nests elements more than 64 deep", false},
      {"many elements", Envelope("", "<Discover>" + wide + "</Discover>"), "more than 150 elements",
       false},
      {"plain text", "SELECT 1", "no well-formed XML", true},
      {"truncated", Envelope("", "<Discover>").substr(0, 60), "no well-formed XML", true},
      {"no envelope", "<Discover><RequestType>X</RequestType></Discover>", "no SOAP envelope",
       true},
      {"no body", "<Envelope><Header/></Envelope>", "has no Body", false},
      {"neither method", Envelope("", "<Cancel/>"), "neither Discover nor Execute", false},
      {"no rowset", Envelope("", "<Discover><RequestType/></Discover>"), "names no RequestType",
       false},
  };
  RequestLimits limits;
  limits.max_elements = 150;
  for (const Refused& refused : cases) {
    const auto request = ReadSoapRequest(refused.body, limits);
    ASSERT_FALSE(request) << refused.what;
    EXPECT_NE(request.error().description.find(refused.message), std::string::npos)
        << refused.what << ": " << request.error().description;
    EXPECT_EQ(request.error().number == kNotSoap, refused.not_soap) << refused.what;
  }
}

TEST(XmlWriterTest, EscapesTextAndReplacesWhatXmlCannotCarry) {
  std::string written;
  XmlWriter out([&](std::string_view piece) {
    written += piece;
    return true;
  });
  out.Element("v", std::string("a<b>&\"c\"\x01\r\n\xC3\xA9\xFF", 14), {{"n", "x\"y<"}});
  out.Flush();
  EXPECT_EQ(written,
            "<v n=\"x&quot;y&lt;\">a&lt;b&gt;&amp;&quot;c&quot;\xEF\xBF\xBD&#13;\n\xC3\xA9"
            "\xEF\xBF\xBD</v>");
}

TEST(XmlWriterTest, StopsWhenTheReaderIsGone) {
  int pieces = 0;
  XmlWriter out(
      [&](std::string_view) {
        ++pieces;
        return false;
      },
      16);
  for (int i = 0; i < 100 && out.Good(); ++i) out.Element("cell", "1234567890");
  EXPECT_FALSE(out.Good());
  EXPECT_EQ(pieces, 1);
}

TEST(XmlNameTest, EncodesWhatNoXmlNameMayHold) {
  EXPECT_EQ(XmlName("CATALOG_NAME"), "CATALOG_NAME");
  EXPECT_EQ(XmlName("[Measures].[Unit Sales]"),
            "_x005B_Measures_x005D_._x005B_Unit_x0020_Sales_x005D_");
  EXPECT_EQ(XmlName("1st"), "_x0031_st");
  EXPECT_EQ(XmlName("a_xb"), "a_x005F_xb");
  EXPECT_EQ(XmlName("Caf\xC3\xA9"), "Caf\xC3\xA9");
}

}  // namespace
}  // namespace cubemill::serve
