// hostsim serve's request handler as a pure function: HTTP and CIM-XML in, the test host's
// providers behind the broker, CIM-XML out.
#include <gtest/gtest.h>

#include <string>

#include "hostsim_broker.h"
#include "hostsim_test_host.h"
#include "hostsimkit.h"
#include "request_handler.h"
#include "xml_tree.h"

namespace {

using hostsim::server::HttpRequest;
using hostsim::server::HttpResponse;
using hostsim::sim::Json;

// The test host's Echo class, declared so that keys and parameters get their types.
constexpr const char *kEchoMof = R"(
class HostsimTest_Echo {
    [Key] string Id;
    uint16 Count;
    uint32 Ping([IN] uint16 Options[], [IN] sint8 Level, [IN] CIM_ManagedElement REF Target,
                [IN] datetime When, [IN] boolean Flag, [IN] string Texts[]);
    uint32 Faulty([IN ( false ), OUT] uint32 Kept);
    uint32 Broken();
};)";

std::string local_namespace(const std::string &nameSpace) {
    std::string xml = "<LOCALNAMESPACEPATH>";
    for (size_t start = 0; start <= nameSpace.size();) {
        size_t slash = std::min(nameSpace.find('/', start), nameSpace.size());
        xml += "<NAMESPACE NAME=\"" + nameSpace.substr(start, slash - start) + "\"/>";
        start = slash + 1;
    }
    return xml + "</LOCALNAMESPACEPATH>";
}

std::string message(const std::string &call) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<CIM CIMVERSION=\"2.0\" "
           "DTDVERSION=\"2.0\"><MESSAGE ID=\"42\" PROTOCOLVERSION=\"1.0\"><SIMPLEREQ>" +
           call + "</SIMPLEREQ></MESSAGE></CIM>";
}

std::string class_param(const std::string &className) {
    return "<IPARAMVALUE NAME=\"ClassName\"><CLASSNAME NAME=\"" + className + "\"/></IPARAMVALUE>";
}

std::string echo_name(const std::string &id) {
    return "<INSTANCENAME CLASSNAME=\"HostsimTest_Echo\"><KEYBINDING NAME=\"Id\"><KEYVALUE>" + id +
           "</KEYVALUE></KEYBINDING></INSTANCENAME>";
}

size_t occurrences(const std::string &text, const std::string &what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}

HttpRequest post(const std::string &method, const std::string &object, const std::string &body) {
    HttpRequest request;
    request.method = "POST";
    request.path = "/cimom";
    request.headers = {{"Content-Type", "application/xml; charset=\"utf-8\""},
                       {"CIMOperation", "MethodCall"},
                       {"CIMMethod", method},
                       {"CIMObject", object},
                       {"CIMProtocolVersion", "1.0"}};
    request.body = body;
    return request;
}

class CimXmlHandler : public ::testing::Test {
  protected:
    void SetUp() override {
        hostsim::clear_registrations();
        testhost::write_host_files();
        Json scenario = Json::parse(testhost::scenario_text());
        scenario["hostsim_test"]["instances"]["HostsimTest_Echo"].push_back(
            Json::parse(R"({"keys": {"Id": "c"}, "properties": {"Note": "x\u0001<&>y"}})"));
        testfiles::write(testhost::kScenario, scenario.dump());
        setenv(hostsim::sim::kScenarioVariable, testhost::kScenario, 1);
        setenv(hostsim::sim::kJournalVariable, testhost::kJournal, 1);
        std::string error;
        ASSERT_TRUE(hostsim::load_registry(testhost::kRegistry, "/usr/lib/cim", nullptr, &error))
            << error;
        ASSERT_TRUE(classes.add_mof(kEchoMof, "echo.mof", &error)) << error;
    }
    void TearDown() override {
        unsetenv(hostsim::sim::kJournalVariable);
        hostsim::clear_registrations();
    }

    HttpResponse intrinsic(const std::string &name, const std::string &params,
                           const std::string &nameSpace = "test/cimv2") {
        std::string body = message("<IMETHODCALL NAME=\"" + name + "\">" +
                                   local_namespace(nameSpace) + params + "</IMETHODCALL>");
        return handler.handle(post(name, nameSpace, body));
    }
    HttpResponse method(const std::string &name, const std::string &params,
                        const std::string &target = echo_name("a")) {
        std::string body = message("<METHODCALL NAME=\"" + name + "\"><LOCALINSTANCEPATH>" +
                                   local_namespace("test/cimv2") + target + "</LOCALINSTANCEPATH>" +
                                   params + "</METHODCALL>");
        return handler.handle(post(name, "test%2Fcimv2%3AHostsimTest_Echo.Id=%22a%22", body));
    }
    // The body between <SIMPLERSP> and </SIMPLERSP>, after checking the frame around it.
    std::string answer(const HttpResponse &response) {
        EXPECT_EQ(200u, response.status);
        EXPECT_NE(nullptr, hostsim::server::parse_xml(response.body)) << response.body;
        const std::string open = "<MESSAGE ID=\"42\" PROTOCOLVERSION=\"1.0\"><SIMPLERSP>";
        size_t start = response.body.find(open);
        size_t stop = response.body.find("</SIMPLERSP>");
        if (start == std::string::npos || stop == std::string::npos) {
            ADD_FAILURE() << response.body;
            return "";
        }
        return response.body.substr(start + open.size(), stop - start - open.size());
    }
    Json last_request() {
        std::vector<Json> journal = hostsim::sim::read_journal(testhost::kJournal);
        return journal.empty() ? Json() : journal.back();
    }

    hostsim::server::ClassRepository classes;
    hostsim::server::RequestHandler handler{classes, {}};
};

TEST_F(CimXmlHandler, EnumeratesAndGetsInstancesOfAnyHostedProvider) {
    std::string all = answer(intrinsic("EnumerateInstances", class_param("HostsimTest_Echo")));
    EXPECT_EQ(0u, all.find("<IMETHODRESPONSE NAME=\"EnumerateInstances\"><IRETURNVALUE>"
                           "<VALUE.NAMEDINSTANCE><INSTANCENAME CLASSNAME=\"HostsimTest_Echo\">"
                           "<KEYBINDING NAME=\"Id\"><KEYVALUE VALUETYPE=\"string\" "
                           "TYPE=\"string\">a</KEYVALUE></KEYBINDING></INSTANCENAME>"
                           "<INSTANCE CLASSNAME=\"HostsimTest_Echo\">"
                           "<PROPERTY NAME=\"Id\" TYPE=\"string\"><VALUE>a</VALUE></PROPERTY>"
                           "<PROPERTY NAME=\"Count\" TYPE=\"uint16\"><VALUE>3</VALUE></PROPERTY>"
                           "<PROPERTY.ARRAY NAME=\"Names\" TYPE=\"string\"><VALUE.ARRAY>"
                           "<VALUE>x</VALUE><VALUE>y</VALUE></VALUE.ARRAY></PROPERTY.ARRAY>"
                           "</INSTANCE></VALUE.NAMEDINSTANCE>"))
        << all;
    EXPECT_NE(std::string::npos, all.find("<KEYVALUE VALUETYPE=\"string\" TYPE=\"string\">"
                                          "b &quot;quoted&quot;</KEYVALUE>"))
        << all;
    // Text that is not XML is replaced, and markup characters are escaped.
    EXPECT_NE(std::string::npos, all.find("<VALUE>x\xEF\xBF\xBD&lt;&amp;&gt;y</VALUE>")) << all;

    std::string names =
        answer(intrinsic("EnumerateInstanceNames", class_param("HostsimTest_Echo")));
    EXPECT_EQ(3u, occurrences(names, "<INSTANCENAME CLASSNAME=\"HostsimTest_Echo\"><KEYBINDING"));
    EXPECT_EQ(0u, occurrences(names, "<INSTANCE "));

    std::string filtered = answer(
        intrinsic("GetInstance", "<IPARAMVALUE NAME=\"InstanceName\">" + echo_name("b \"quoted\"") +
                                     "</IPARAMVALUE><IPARAMVALUE NAME=\"PropertyList\">"
                                     "<VALUE.ARRAY><VALUE>id</VALUE></VALUE.ARRAY>"
                                     "</IPARAMVALUE>"));
    EXPECT_NE(std::string::npos,
              filtered.find("<IRETURNVALUE><INSTANCE CLASSNAME=\"HostsimTest_Echo\"><PROPERTY "
                            "NAME=\"Id\" TYPE=\"string\"><VALUE>b &quot;quoted&quot;</VALUE>"
                            "</PROPERTY></INSTANCE></IRETURNVALUE>"))
        << filtered;
    EXPECT_EQ(Json::parse(R"([["Id", "string", "b \"quoted\""]])"), last_request()["keys"]);

    std::string missing = answer(intrinsic("GetInstance", "<IPARAMVALUE NAME=\"InstanceName\">" +
                                                              echo_name("zzz") + "</IPARAMVALUE>"));
    EXPECT_NE(std::string::npos, missing.find("<ERROR CODE=\"6\"")) << missing;
}

TEST_F(CimXmlHandler, CimErrorsOfOperations) {
    struct Case {
        std::string name, params, nameSpace, error;
    } cases[] = {
        {"GetClass", class_param("Nope"), "test/cimv2",
         "<ERROR CODE=\"6\" DESCRIPTION=\"no class Nope\">"},
        {"GetClass", class_param("HostsimTest_Echo"), "no/where", "<ERROR CODE=\"3\""},
        {"EnumerateInstances", class_param("Nope"), "test/cimv2", "<ERROR CODE=\"5\""},
        {"EnumerateInstances", "", "test/cimv2",
         "<ERROR CODE=\"4\" DESCRIPTION=\"ClassName is required\">"},
        {"EnumerateInstances", class_param("HostsimTest_Echo") + "<IPARAMVALUE NAME=\"Deep\"/>",
         "test/cimv2", "<ERROR CODE=\"4\" DESCRIPTION=\"unknown parameter Deep\">"},
        {"EnumerateInstances", class_param("A") + class_param("B"), "test/cimv2",
         "<ERROR CODE=\"4\" DESCRIPTION=\"parameter ClassName given twice\">"},
        {"EnumerateInstances",
         class_param("HostsimTest_Echo") +
             "<IPARAMVALUE NAME=\"LocalOnly\"><VALUE>maybe</VALUE></IPARAMVALUE>",
         "test/cimv2", "<ERROR CODE=\"4\""},
        {"GetInstance",
         "<IPARAMVALUE NAME=\"InstanceName\"><INSTANCENAME CLASSNAME=\"HostsimTest_Missing\"/>"
         "</IPARAMVALUE>",
         "test/cimv2", "<ERROR CODE=\"5\""},
        {"ExecQuery", "", "test/cimv2", "<ERROR CODE=\"7\""},
    };
    for (const Case &c : cases) {
        std::string body = answer(intrinsic(c.name, c.params, c.nameSpace));
        EXPECT_EQ(0u, body.find("<IMETHODRESPONSE NAME=\"" + c.name + "\">" + c.error)) << body;
    }
}

TEST_F(CimXmlHandler, DeclaresClassesFromTheMof) {
    std::string local = answer(intrinsic("GetClass", class_param("CIM_ConcreteJob")));
    EXPECT_EQ(0u, local.find("<IMETHODRESPONSE NAME=\"GetClass\"><IRETURNVALUE><CLASS "
                             "NAME=\"CIM_ConcreteJob\" SUPERCLASS=\"CIM_Job\"><PROPERTY "
                             "NAME=\"InstanceID\" TYPE=\"string\"><QUALIFIER NAME=\"Key\" "
                             "TYPE=\"boolean\"><VALUE>TRUE</VALUE></QUALIFIER></PROPERTY>"))
        << local;
    EXPECT_EQ(std::string::npos, local.find("JobStatus")); // inherited, and LocalOnly

    std::string all = answer(intrinsic(
        "GetClass", class_param("CIM_ConcreteJob") +
                        "<IPARAMVALUE NAME=\"LocalOnly\"><VALUE>FALSE</VALUE></IPARAMVALUE>"
                        "<IPARAMVALUE NAME=\"IncludeClassOrigin\"><VALUE>true</VALUE>"
                        "</IPARAMVALUE><IPARAMVALUE NAME=\"IncludeQualifiers\"><VALUE>FALSE"
                        "</VALUE></IPARAMVALUE>"));
    EXPECT_NE(std::string::npos, all.find("<PROPERTY NAME=\"JobStatus\" TYPE=\"string\" "
                                          "CLASSORIGIN=\"CIM_Job\" PROPAGATED=\"true\">"
                                          "</PROPERTY>"))
        << all;
    EXPECT_NE(std::string::npos,
              all.find("<METHOD NAME=\"RequestStateChange\" TYPE=\"uint32\" "
                       "CLASSORIGIN=\"CIM_ConcreteJob\"><PARAMETER NAME=\"RequestedState\" "
                       "TYPE=\"uint16\"></PARAMETER><PARAMETER NAME=\"TimeoutPeriod\" "
                       "TYPE=\"datetime\"></PARAMETER></METHOD>"))
        << all;
    EXPECT_EQ(std::string::npos, all.find("QUALIFIER"));

    std::string echo = answer(intrinsic("GetClass", class_param("HostsimTest_Echo")));
    EXPECT_NE(std::string::npos,
              echo.find("<PARAMETER.ARRAY NAME=\"Options\" TYPE=\"uint16\"><QUALIFIER NAME=\"IN\" "
                        "TYPE=\"boolean\"><VALUE>TRUE</VALUE></QUALIFIER></PARAMETER.ARRAY>"
                        "<PARAMETER NAME=\"Level\""))
        << echo;
    EXPECT_NE(std::string::npos, echo.find("<PARAMETER NAME=\"Kept\" TYPE=\"uint32\"><QUALIFIER "
                                           "NAME=\"OUT\" TYPE=\"boolean\"><VALUE>TRUE</VALUE>"
                                           "</QUALIFIER></PARAMETER>"))
        << echo;
}

TEST_F(CimXmlHandler, MethodParametersTakeTheirDeclaredTypes) {
    std::string body = answer(method(
        "Ping",
        "<PARAMVALUE NAME=\"options\"><VALUE.ARRAY><VALUE>32768</VALUE><VALUE>0x1</VALUE>"
        "</VALUE.ARRAY></PARAMVALUE><PARAMVALUE NAME=\"Level\"><VALUE>-3</VALUE></PARAMVALUE>"
        "<PARAMVALUE NAME=\"Target\"><VALUE.REFERENCE><INSTANCEPATH><NAMESPACEPATH><HOST>h"
        "</HOST>" +
            local_namespace("root/x") +
            "</NAMESPACEPATH><INSTANCENAME CLASSNAME=\"X_Thing\"><KEYBINDING NAME=\"N\">"
            "<KEYVALUE VALUETYPE=\"numeric\">-7</KEYVALUE></KEYBINDING></INSTANCENAME>"
            "</INSTANCEPATH></VALUE.REFERENCE></PARAMVALUE>"
            "<PARAMVALUE NAME=\"When\"><VALUE>20240101000000.000000+000</VALUE></PARAMVALUE>"
            "<PARAMVALUE NAME=\"Flag\"/>"
            "<PARAMVALUE NAME=\"Texts\"><VALUE.ARRAY><VALUE>a,b</VALUE><VALUE.NULL/>"
            "<VALUE><![CDATA[<c>]]></VALUE></VALUE.ARRAY></PARAMVALUE>"));
    EXPECT_EQ("<METHODRESPONSE NAME=\"Ping\"><RETURNVALUE PARAMTYPE=\"uint32\"><VALUE>0</VALUE>"
              "</RETURNVALUE></METHODRESPONSE>",
              body);
    Json request = last_request();
    EXPECT_EQ("Ping", request["operation"]);
    EXPECT_EQ(Json::parse(R"([["Id", "string", "a"]])"), request["keys"]);
    EXPECT_EQ(Json::parse(R"([
        ["options", "uint16[]", [32768, 1]],
        ["Level", "sint8", -3],
        ["Target", "ref", "root/x:X_Thing.N=\"-7\""],
        ["When", "dateTime", "20240101000000.000000+000"],
        ["Flag", "boolean", null],
        ["Texts", "string[]", ["a,b", null, "<c>"]]])"),
              request["args"]);
}

TEST_F(CimXmlHandler, MethodResultsAndFailures) {
    std::string faulty = answer(method("Faulty", ""));
    EXPECT_EQ("<METHODRESPONSE NAME=\"Faulty\"><RETURNVALUE PARAMTYPE=\"uint32\"><VALUE>4107"
              "</VALUE></RETURNVALUE><PARAMVALUE NAME=\"Kept\" PARAMTYPE=\"uint32\"><VALUE>7"
              "</VALUE></PARAMVALUE></METHODRESPONSE>",
              faulty);
    struct Case {
        std::string method, params, error;
    } cases[] = {
        {"Broken", "", "<ERROR CODE=\"4\" DESCRIPTION=\"bad input\">"},
        {"Frob", "", "<ERROR CODE=\"17\""},
        {"Ping", "<PARAMVALUE NAME=\"Level\"><VALUE>200</VALUE></PARAMVALUE>",
         "<ERROR CODE=\"4\" DESCRIPTION=\"Level: '200' is not a sint8\">"},
        {"Ping", "<PARAMVALUE NAME=\"Level\"><VALUE.ARRAY/></PARAMVALUE>", "<ERROR CODE=\"4\""},
        {"Ping", "<PARAMVALUE NAME=\"Options\"><VALUE>1</VALUE></PARAMVALUE>", "<ERROR CODE=\"4\""},
        {"Ping", "<PARAMVALUE NAME=\"Target\"><VALUE>x</VALUE></PARAMVALUE>", "<ERROR CODE=\"4\""},
        {"Ping", "<PARAMVALUE NAME=\"Extra\"><VALUE>x</VALUE></PARAMVALUE>",
         "<ERROR CODE=\"4\" DESCRIPTION=\"Extra is not an input parameter of Ping\">"},
        {"Faulty", "<PARAMVALUE NAME=\"Kept\"><VALUE>1</VALUE></PARAMVALUE>", "<ERROR CODE=\"4\""},
        {"Ping", "<PARAMVALUE NAME=\"Level\"/><PARAMVALUE NAME=\"level\"/>",
         "<ERROR CODE=\"4\" DESCRIPTION=\"parameter level given twice\">"},
    };
    for (const Case &c : cases) {
        std::string body = answer(method(c.method, c.params));
        EXPECT_EQ(0u, body.find("<METHODRESPONSE NAME=\"" + c.method + "\">" + c.error)) << body;
    }
    // Where the class is not declared: parameters typed by PARAMTYPE, else by their content.
    hostsim::server::ClassRepository bare;
    hostsim::server::RequestHandler undeclared(bare, {});
    const std::string frob = "<PARAMVALUE NAME=\"F\" PARAMTYPE=\"frob\"/>";
    std::string body =
        message("<METHODCALL NAME=\"Ping\"><LOCALCLASSPATH>" + local_namespace("test/cimv2") +
                "<CLASSNAME NAME=\"HostsimTest_Echo\"/></LOCALCLASSPATH><PARAMVALUE NAME=\"N\" "
                "PARAMTYPE=\"uint16\"><VALUE>5</VALUE></PARAMVALUE><PARAMVALUE NAME=\"S\"><VALUE>x"
                "</VALUE></PARAMVALUE><PARAMVALUE NAME=\"R\"><VALUE.REFERENCE>" +
                echo_name("a") +
                "</VALUE.REFERENCE></PARAMVALUE><PARAMVALUE NAME=\"L\"><VALUE.ARRAY>"
                "<VALUE>1</VALUE></VALUE.ARRAY></PARAMVALUE>" +
                frob + "</METHODCALL>");
    std::string refused = answer(undeclared.handle(post("Ping", "test/cimv2", body)));
    EXPECT_EQ(0u, refused.find("<METHODRESPONSE NAME=\"Ping\"><ERROR CODE=\"4\" "
                               "DESCRIPTION=\"unknown PARAMTYPE 'frob'\">"))
        << refused;
    body.erase(body.find(frob), frob.size());
    std::string pinged = answer(undeclared.handle(post("Ping", "test/cimv2", body)));
    EXPECT_EQ(0u, pinged.find("<METHODRESPONSE NAME=\"Ping\"><RETURNVALUE PARAMTYPE=\"uint32\">"))
        << pinged;
    EXPECT_EQ(Json::parse(R"([["N", "uint16", 5], ["S", "string", "x"],
        ["R", "ref", "test/cimv2:HostsimTest_Echo.Id=\"a\""], ["L", "string[]", ["1"]]])"),
              last_request()["args"]);
}

TEST_F(CimXmlHandler, RefusesRequestsItCannotTake) {
    const std::string good =
        message("<IMETHODCALL NAME=\"EnumerateInstanceNames\">" + local_namespace("test/cimv2") +
                class_param("HostsimTest_Echo") + "</IMETHODCALL>");
    auto request = [&](const std::string &body) {
        return post("EnumerateInstanceNames", "test%2Fcimv2", body);
    };
    struct Case {
        const char *what;
        HttpRequest request;
        unsigned status;
        std::string cimError;
    } cases[] = {
        {"not XML", request("{\"json\": 1}"), 400, "request-not-well-formed"},
        {"not CIM", request("<?xml version=\"1.0\"?><HTML/>"), 400, "request-not-valid"},
        {"entities", request("<!DOCTYPE CIM [<!ENTITY a \"b\">]><CIM/>"), 400,
         "request-not-well-formed"},
        {"CIM 3", request(std::string(good).replace(good.find("2.0"), 3, "3.0")), 501,
         "unsupported-cim-version"},
        {"MULTIREQ",
         request("<CIM CIMVERSION=\"2.0\" DTDVERSION=\"2.0\"><MESSAGE ID=\"1\" "
                 "PROTOCOLVERSION=\"1.0\"><MULTIREQ/></MESSAGE></CIM>"),
         501, "multiple-requests-unsupported"},
        {"no ID", request(std::string(good).replace(good.find(" ID=\"42\""), 8, "")), 400,
         "request-not-valid"},
        {"two calls",
         request(std::string(good).insert(good.find("</SIMPLEREQ>"), "<METHODCALL NAME=\"x\"/>")),
         400, "request-not-valid"},
        {"CIMMethod", post("GetClass", "test%2Fcimv2", good), 400, "header-mismatch"},
        {"CIMObject", post("EnumerateInstanceNames", "root%2Fcimv2", good), 400, "header-mismatch"},
        {"no namespace",
         request(message("<IMETHODCALL NAME=\"EnumerateInstanceNames\">" +
                         class_param("HostsimTest_Echo") + "</IMETHODCALL>")),
         400, "request-not-valid"},
    };
    for (const Case &c : cases) {
        HttpResponse response = handler.handle(c.request);
        EXPECT_EQ(c.status, response.status) << c.what;
        EXPECT_EQ(c.cimError, hostsim::server::header(response.headers, "CIMError").value_or(""))
            << c.what;
    }
    HttpRequest get = request(good);
    get.method = "GET";
    EXPECT_EQ(405u, handler.handle(get).status);
    HttpRequest plain = request(good);
    plain.headers.erase(plain.headers.begin() + 1); // CIMOperation
    EXPECT_EQ("unsupported-operation",
              hostsim::server::header(handler.handle(plain).headers, "CIMError").value_or(""));
    HttpRequest huge = request(good);
    huge.bodyTooLarge = true;
    EXPECT_EQ(413u, handler.handle(huge).status);
    HttpRequest announced = request(good);
    announced.headers.emplace_back("Content-Length", "1048577");
    EXPECT_EQ(413u, handler.refusal(announced)->status);
    for (const char *path : {"/", "/cimom/", "/CIMOM", "/cimom/../cimom"}) {
        HttpRequest elsewhere = request(good);
        elsewhere.path = path;
        EXPECT_EQ(404u, handler.handle(elsewhere).status) << path;
    }
    EXPECT_EQ(200u, handler.handle(request(good)).status);
}

TEST_F(CimXmlHandler, AsksForBasicCredentialsWhenConfigured) {
    hostsim::server::RequestHandler guarded(classes, {"admin", "s3cret"});
    HttpRequest request = post("EnumerateInstanceNames", "test%2Fcimv2",
                               message("<IMETHODCALL NAME=\"EnumerateInstanceNames\">" +
                                       local_namespace("test/cimv2") +
                                       class_param("HostsimTest_Echo") + "</IMETHODCALL>"));
    // "admin:s3cret" is YWRtaW46czNjcmV0
    const char *wrong[] = {nullptr,
                           "Basic YWRtaW46czNjcmU=",     // admin:s3cre
                           "Basic YWRtaW46czNjcmV0IQ==", // admin:s3cret!
                           "Basic QWRtaW46czNjcmV0",     // Admin:s3cret
                           "Basic YWRtaW4=",             // admin
                           "Basic !!!!",                 // not base64
                           "Basic ",                     // nothing
                           "Bearer YWRtaW46czNjcmV0"};
    for (const char *authorization : wrong) {
        HttpRequest attempt = request;
        if (authorization != nullptr) {
            attempt.headers.emplace_back("Authorization", authorization);
        }
        for (const HttpResponse &response : {guarded.handle(attempt), *guarded.refusal(attempt)}) {
            EXPECT_EQ(401u, response.status) << (authorization ? authorization : "none");
            EXPECT_EQ("Basic realm=\"hostsim\"",
                      hostsim::server::header(response.headers, "www-authenticate").value_or(""));
            EXPECT_TRUE(response.body.empty());
        }
    }
    // The scheme name is case-insensitive; the refusal before the body knows the path too.
    for (const char *scheme : {"Basic", "basic", "BASIC"}) {
        HttpRequest attempt = request;
        attempt.headers.emplace_back("authorization", std::string(scheme) + "  YWRtaW46czNjcmV0");
        EXPECT_EQ(200u, guarded.handle(attempt).status) << scheme;
        EXPECT_FALSE(guarded.refusal(attempt)) << scheme;
        attempt.path = "/cimom/x";
        EXPECT_EQ(404u, guarded.refusal(attempt)->status);
    }
}

// Elements, attributes per element and depth are bounded before libxml2 parses anything.
TEST_F(CimXmlHandler, BoundsTheDocumentBeforeParsingIt) {
    const std::string call = "<IMETHODCALL NAME=\"EnumerateInstanceNames\">" +
                             local_namespace("test/cimv2") + class_param("HostsimTest_Echo");
    auto status = [&](const std::string &body) {
        return handler.handle(post("EnumerateInstanceNames", "test%2Fcimv2", body)).status;
    };
    std::string attributes, elements, nested;
    for (int i = 0; i < 100000; ++i) {
        attributes += " a" + std::to_string(i) + "=\"\"";
    }
    for (int i = 0; i < 10000; ++i) {
        elements += "<x/>";
    }
    for (int i = 0; i < 27; ++i) { // with CIM, MESSAGE, SIMPLEREQ, IMETHODCALL, IPARAMVALUE: 32
        nested = "<x>" + nested + "</x>";
    }
    const std::string deeper = "<x>" + nested + "</x>";
    auto with = [&](const std::string &inside) {
        return message(call + "<IPARAMVALUE NAME=\"X\">" + inside + "</IPARAMVALUE></IMETHODCALL>");
    };
    EXPECT_EQ(413u, status(message("<IMETHODCALL" + attributes + "/>")));
    EXPECT_EQ(413u, status(with(elements)));
    EXPECT_EQ(413u, status(with(deeper)));
    // At the bounds the request is read (and its unknown parameter refused as such), and markup
    // inside comments, CDATA, values and processing instructions counts for nothing.
    std::string edge = with(nested + elements.substr(0, 4 * 9900));
    EXPECT_EQ(200u, status(edge)) << edge.size();
    std::string hidden;
    for (int i = 0; i < 50; ++i) {
        hidden += "<!-- <x a=1 b=2> --><?pi <x>?><VALUE><![CDATA[<x a=\"1\"><x>]]></VALUE>";
    }
    std::string quoted(40, '=');
    std::string body =
        message(call + "<IPARAMVALUE NAME=\"X\" Y=\"" + quoted + ">\">" + hidden +
                nested.substr(0, 27 * 3) + nested.substr(27 * 3) + "</IPARAMVALUE></IMETHODCALL>");
    EXPECT_EQ(200u, status(body));
}

// Every prefix and many one-byte changes of valid requests: always an answer, never a crash.
TEST_F(CimXmlHandler, DamagedRequestsAlwaysGetAnAnswer) {
    const std::string requests[] = {
        message("<IMETHODCALL NAME=\"GetInstance\">" + local_namespace("test/cimv2") +
                "<IPARAMVALUE NAME=\"InstanceName\">" + echo_name("a") +
                "</IPARAMVALUE></IMETHODCALL>"),
        message("<METHODCALL NAME=\"Ping\"><LOCALINSTANCEPATH>" + local_namespace("test/cimv2") +
                echo_name("a") +
                "</LOCALINSTANCEPATH><PARAMVALUE NAME=\"Target\">"
                "<VALUE.REFERENCE><LOCALINSTANCEPATH>" +
                local_namespace("a") +
                "<INSTANCENAME CLASSNAME=\"A\"><KEYBINDING NAME=\"K\"><VALUE.REFERENCE>" +
                echo_name("b") +
                "</VALUE.REFERENCE></KEYBINDING></INSTANCENAME>"
                "</LOCALINSTANCEPATH></VALUE.REFERENCE></PARAMVALUE></METHODCALL>"),
    };
    const char replacements[] = {'<', '>', '"', '/', '\0', 'Z', '.', '\xff'};
    auto survives = [&](const std::string &name, const std::string &body) {
        HttpResponse r = handler.handle(post(name, "test/cimv2", body));
        bool known = r.status == 200 || r.status == 400 || r.status == 501;
        EXPECT_TRUE(known) << r.status << " for " << body;
        if (r.status == 200) {
            EXPECT_NE(nullptr, hostsim::server::parse_xml(r.body)) << body;
        }
        return known;
    };
    for (const std::string &good : requests) {
        std::string name = good.find("IMETHODCALL") != std::string::npos ? "GetInstance" : "Ping";
        for (size_t length = 0; length <= good.size(); length += 5) {
            ASSERT_TRUE(survives(name, good.substr(0, length)));
        }
        for (size_t at = 0; at < good.size(); ++at) {
            std::string damaged = good;
            damaged[at] = replacements[at % sizeof replacements];
            ASSERT_TRUE(survives(name, damaged));
        }
    }
}

} // namespace
