// hostsim serve's building blocks: the MOF reader, class resolution, CIM-XML value text and the
// text of replies.
#include <gtest/gtest.h>

#include <string>

#include <cmpi/cmpimacs.h>

#include "cim_fault.h"
#include "cim_values.h"
#include "class_repository.h"
#include "hostsim_broker.h"
#include "mof_reader.h"
#include "test_files.h"
#include "xml_writer.h"

namespace {

using namespace hostsim::server;

TEST(MofReader, ReadsTheShippedServiceClass) {
    std::vector<ClassDecl> classes;
    std::string error;
    std::string mof =
        testfiles::read(std::string(ZELK_SOURCE_DIR) + "/mof/XORVO_VMpkgInstallationService.mof");
    ASSERT_TRUE(read_mof(mof, "service.mof", &classes, &error)) << error;
    ASSERT_EQ(1u, classes.size());
    const ClassDecl &service = classes[0];
    EXPECT_EQ("CIM_SoftwareInstallationService", service.superclass);
    ASSERT_EQ(3u, service.methods.size());
    const MethodDecl &install = service.methods[0];
    EXPECT_EQ(CMPI_uint32, install.returnType);
    ASSERT_EQ(4u, install.parameters.size());
    const ParameterDecl &options = install.parameters[1];
    EXPECT_EQ("InstallOptions", options.name);
    EXPECT_EQ(CMPI_uint16A, options.type.cmpi());
    const ParameterDecl &job = install.parameters[3];
    EXPECT_EQ(CMPI_ref, job.type.base);
    EXPECT_EQ("CIM_ConcreteJob", job.type.refClass);
    EXPECT_FALSE(job.in); // IN ( false ), OUT
    EXPECT_TRUE(job.out);
    EXPECT_TRUE(install.parameters[0].in);
    EXPECT_FALSE(install.parameters[0].out);
    EXPECT_EQ("DeleteZELKDebugLogFile", service.methods[2].name);
}

TEST(MofReader, SkipsWhatItNeedNotKeep) {
    const char *mof = R"MOF(
        #pragma locale ("en_US")
        /* a comment with "quotes" and ; */
        qualifier Key : boolean = false, Scope(property, reference), Flavor(DisableOverride);
        [Description ( "A \"quoted\" text " "joined" ), ValueMap { "0", "1" }, Abstract]
        class T_Base {
            [Key, Description ( "(not a paren)" )] string Id; // trailing comment
            [Key ( false )] uint8 NotAKey = 3;
            sint64 Sizes[4] = { -1, 2 };
            T_Base REF Peer;
            datetime When;
        };
        class T_Derived : T_Base {
            [Override ( "Id" )] string Id;
            boolean Run([IN, OUT] char16 C, [OUT] real64 R[], [IN] T_Base REF Targets[] = NULL);
        };)MOF";
    std::vector<ClassDecl> classes;
    std::string error;
    ASSERT_TRUE(read_mof(mof, "t.mof", &classes, &error)) << error;
    ASSERT_EQ(2u, classes.size());
    const ClassDecl &base = classes[0];
    ASSERT_EQ(5u, base.properties.size());
    EXPECT_TRUE(base.properties[0].key);
    EXPECT_FALSE(base.properties[1].key);
    EXPECT_EQ(CMPI_sint64A, base.properties[2].type.cmpi());
    EXPECT_EQ("T_Base", base.properties[3].type.refClass);
    EXPECT_EQ(CMPI_dateTime, base.properties[4].type.base);
    const MethodDecl &run = classes[1].methods[0];
    EXPECT_EQ(CMPI_boolean, run.returnType);
    EXPECT_TRUE(run.parameters[0].in && run.parameters[0].out);
    EXPECT_TRUE(run.parameters[1].in); // IN is true unless said otherwise
    EXPECT_EQ(CMPI_real64A, run.parameters[1].type.cmpi());
    EXPECT_EQ(CMPI_refA, run.parameters[2].type.cmpi());
}

TEST(MofReader, NamesTheLineOfWhatItCannotRead) {
    struct Case {
        const char *mof;
        const char *error;
    } cases[] = {
        {"\n\ninstance of T { Id = 1; };",
         "x.mof:3: expected a class declaration, found 'instance'"},
        {"class T {\n  gadget G;\n};", "x.mof:2: unknown type 'gadget'"},
        {"class T {\n  string S\n};", "x.mof:3: expected ';', found '}'"},
        {"class T { string S; }", "x.mof:1: expected ';', found the end"},
        {"class T {\n string S = \"open;\n};", "x.mof:2: unterminated literal"},
        {"\n/* never closed", "x.mof:2: unterminated comment"},
        {"[Key( class T {};", "x.mof:1: expected one of \")\", found the end"},
        {"class T { uint32 M(string A,); };", "x.mof:1: expected a parameter type, found ')'"},
        {"class T { T REF M(); };", "x.mof:1: method M cannot return a reference"},
        {"class T { string S; } ; @", "x.mof:1: unexpected character '@'"},
    };
    for (const Case &c : cases) {
        std::vector<ClassDecl> classes;
        std::string error;
        EXPECT_FALSE(read_mof(c.mof, "x.mof", &classes, &error)) << c.mof;
        EXPECT_EQ(c.error, error);
        EXPECT_TRUE(classes.empty());
    }
}

TEST(ClassRepository, ResolvesInheritedKeysAndOrigins) {
    ClassRepository repository;
    std::string error;
    ASSERT_TRUE(repository.load_directory(std::string(ZELK_SOURCE_DIR) + "/mof", &error)) << error;
    std::optional<ClassDecl> service = repository.resolve("xorvo_vmpkginstallationservice");
    ASSERT_TRUE(service);
    std::vector<std::string> keys;
    for (const PropertyDecl &property : service->properties) {
        if (property.key) {
            keys.push_back(property.name + "@" + property.origin);
        }
    }
    // Name keeps the place where CIM_ManagedSystemElement introduced it.
    EXPECT_EQ((std::vector<std::string>{"Name@CIM_Service", "SystemCreationClassName@CIM_Service",
                                        "SystemName@CIM_Service", "CreationClassName@CIM_Service"}),
              keys);
    // The service's own InstallFromURI replaces the schema's, with its own parameters.
    const MethodDecl *install = find_method(*service, "installfromuri");
    ASSERT_NE(nullptr, install);
    EXPECT_EQ("XORVO_VMpkgInstallationService", install->origin);
    EXPECT_NE(nullptr, find_parameter(*install, "UpdateArgs"));
    EXPECT_TRUE(repository.derives_from("XORVO_VMpkgInstallationService", "CIM_Service"));
    EXPECT_FALSE(repository.derives_from("CIM_Service", "XORVO_VMpkgInstallationService"));

    // A project class replaces a built-in one; an overriding property stays a key; an
    // undeclared superclass and a cycle both just end the chain.
    ASSERT_TRUE(repository.add_mof("class CIM_ConcreteJob { [Key] string Handle; };"
                                   "class T_Job : CIM_ConcreteJob { string Handle; };"
                                   "class T_Orphan : T_Missing { string A; };"
                                   "class T_A : T_B { string A; }; class T_B : T_A { string B; };",
                                   "more.mof", &error))
        << error;
    std::optional<ClassDecl> job = repository.resolve("T_Job");
    ASSERT_TRUE(job);
    ASSERT_EQ(1u, job->properties.size());
    EXPECT_TRUE(job->properties[0].key);
    EXPECT_EQ("T_Job", job->properties[0].origin);
    EXPECT_EQ(1u, repository.resolve("T_Orphan")->properties.size());
    EXPECT_EQ(2u, repository.resolve("T_A")->properties.size());
    EXPECT_FALSE(repository.derives_from("T_A", "T_C"));
    EXPECT_FALSE(repository.resolve("T_Missing"));

    testfiles::write("/tmp/bad.mof", "class X {\n  nonsense\n};\n");
    EXPECT_FALSE(repository.load_directory("/tmp", &error));
    EXPECT_EQ("/tmp/bad.mof:3: expected a feature name, found '}'", error);
    EXPECT_FALSE(repository.load_directory("/tmp/none", &error));
}

class ValueText : public ::testing::Test {
  protected:
    // The value read back as text, or "!" when refused.
    std::string round_trip(CMPIType type, const std::string &text) {
        try {
            return value_text(type, value_from_text(type, text, "v"));
        } catch (const CimFault &fault) {
            EXPECT_EQ(CMPI_RC_ERR_INVALID_PARAMETER, fault.code());
            return "!";
        }
    }
    hostsim::CallScope scope;
};

TEST_F(ValueText, IntegersFitTheirTypeExactly) {
    struct Case {
        CMPIType type;
        const char *text, *read;
    } cases[] = {
        {CMPI_uint8, "255", "255"},
        {CMPI_uint8, "256", "!"},
        {CMPI_uint8, "-1", "!"},
        {CMPI_uint8, "-0", "0"},
        {CMPI_sint8, "-128", "-128"},
        {CMPI_sint8, "-129", "!"},
        {CMPI_sint8, "127", "127"},
        {CMPI_uint16, " 32768\n", "32768"},
        {CMPI_uint16, "0x8001", "32769"},
        {CMPI_uint16, "-0x1", "!"},
        {CMPI_uint32, "4294967295", "4294967295"},
        {CMPI_uint32, "4294967296", "!"},
        {CMPI_uint64, "18446744073709551615", "18446744073709551615"},
        {CMPI_uint64, "18446744073709551616", "!"},
        {CMPI_sint64, "-9223372036854775808", "-9223372036854775808"},
        {CMPI_sint64, "9223372036854775808", "!"},
        {CMPI_sint32, "+12", "12"},
        {CMPI_sint32, "1.5", "!"},
        {CMPI_sint32, "", "!"},
        {CMPI_sint32, "--1", "!"},
        {CMPI_sint32, "1 2", "!"},
        {CMPI_uint32, "0x", "!"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(c.read, round_trip(c.type, c.text)) << c.text;
    }
}

TEST_F(ValueText, OtherScalars) {
    struct Case {
        CMPIType type;
        const char *text, *read;
    } cases[] = {
        {CMPI_boolean, "true", "TRUE"},
        {CMPI_boolean, " FALSE ", "FALSE"},
        {CMPI_boolean, "yes", "!"},
        {CMPI_real64, "1.5e3", "1500"},
        {CMPI_real64, "NaN", "NaN"},
        {CMPI_real64, "-INF", "-INF"},
        {CMPI_real64, "1e999", "!"},
        {CMPI_real32, "1e39", "!"},
        {CMPI_real32, "0.25", "0.25"},
        {CMPI_char16, "\xC3\xA9", "\xC3\xA9"},
        {CMPI_char16, "ab", "!"},
        {CMPI_char16, "\xF0\x9F\x98\x80", "!"}, // outside the 16-bit plane
        {CMPI_string, "  kept as is <&> ", "  kept as is <&> "},
        {CMPI_dateTime, "20240229235959.123456+060", "20240229225959.123456+000"},
        {CMPI_dateTime, "00000001020304.000005:000", "00000001020304.000005:000"},
        {CMPI_dateTime, "20241301000000.000000+000", "!"},
        {CMPI_dateTime, "2024022923595.123456+000", "!"},
        {CMPI_dateTime, "********000000.000000+000", "!"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(c.read, round_trip(c.type, c.text)) << c.text;
    }
}

// Replies carry valid UTF-8 only, whatever a provider's strings hold.
TEST(XmlSafe, ReplacesEveryInvalidSequence) {
    const std::string grin = "\xF0\x9F\x98\x80", mark = "\xEF\xBF\xBD";
    std::string sixty;
    for (int i = 0; i < 60; ++i) {
        sixty += grin;
    }
    std::string fortyNine = sixty.substr(0, 49 * grin.size());
    // A text cut at 199 bytes inside its 50th character.
    EXPECT_EQ(fortyNine + mark, xml_safe(sixty.substr(0, 199)));
    EXPECT_EQ(fortyNine + mark + "x", xml_safe(sixty.substr(0, 198) + "x"));
    struct Case {
        std::string text, safe;
    } cases[] = {
        {"a\xC3\xA9\xE2\x82\xAC" + grin + "\xF4\x8F\xBF\xBD",
         "a\xC3\xA9\xE2\x82\xAC" + grin + "\xF4\x8F\xBF\xBD"},
        {"\x9F\x98", mark + mark},                                  // continuation bytes alone
        {"\xC0\xAF\xE0\x80\xAF", mark + mark + mark + mark + mark}, // overlong forms
        {"\xED\xA0\x80", mark + mark + mark},                       // a surrogate
        {"\xF4\x90\x80\x80", mark + mark + mark + mark},            // above U+10FFFF
        {"\xE2\x82x\xFF", mark + "x" + mark},
        {"\x01\xEF\xBF\xBE\t", mark + mark + "\t"}, // no XML characters
    };
    for (const Case &c : cases) {
        EXPECT_EQ(c.safe, xml_safe(c.text)) << c.text;
    }
}

} // namespace
