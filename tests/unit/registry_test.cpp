#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <dlfcn.h>
#include <string>
#include <thread>
#include <vector>

#include <cmpi/cmpimacs.h>

#include "hostsim_broker.h"
#include "hostsim_test_host.h"

namespace {

const CMPIBroker *mb() {
    return hostsim::broker();
}

TEST(RegistryFile, ParsesSectionsNamespacesTypesAndComments) {
    const std::string text = "# comment\r\n"
                             "\n"
                             "[A_Class]\r\n"
                             "   provider: P\n"
                             "   location: libloc\n"
                             "   type: instance method\n"
                             "   # indented comment\n"
                             "   namespace: ns/one  ns/two\n"
                             "   group: g\n"
                             "   unload: never\n"
                             "[B_Class]\n"
                             "provider:P\n"
                             "location:libloc\n"
                             "type:association\n"
                             "namespace:ns/one\n";
    std::vector<hostsim::Registration> regs;
    std::string error;
    ASSERT_TRUE(hostsim::parse_registrations(text, "x.reg", &regs, &error)) << error;
    ASSERT_EQ(2u, regs.size());
    EXPECT_EQ("A_Class", regs[0].className);
    EXPECT_EQ("P", regs[0].providerName);
    EXPECT_EQ("libloc", regs[0].location);
    EXPECT_EQ((std::vector<std::string>{"instance", "method"}), regs[0].types);
    EXPECT_EQ((std::vector<std::string>{"ns/one", "ns/two"}), regs[0].nameSpaces);
    EXPECT_EQ(3, regs[0].line);
    EXPECT_EQ("B_Class", regs[1].className);
    EXPECT_EQ(11, regs[1].line);
}

TEST(RegistryFile, MalformedTextsNameFileAndLine) {
    const std::string good = "provider: P\nlocation: l\ntype: instance\nnamespace: n\n";
    struct Case {
        std::string text;
        std::string expected;
    } cases[] = {
        {"provider: P\n", "f.reg:1: 'provider' before the first [ClassName] section"},
        {"[C]\nprovider P\n", "f.reg:2: expected '[ClassName]' or 'name: value'"},
        {"[C]\n" + good + "colour: red\n", "f.reg:6: unknown entry 'colour'"},
        {"[C]\nprovider: P\nlocation: l\ntype: instance gadget\n",
         "f.reg:4: unknown provider type 'gadget'"},
        {"\n[C]\nprovider: P\ntype: method\nnamespace: n\n", "f.reg:2: [C] has no 'location'"},
        {"[C]\n" + good + "[D]\n" + good + "[C]\n" + good, "f.reg:11: C in n is registered twice"},
        {"[C\n", "f.reg:1: section header without closing ']'"},
        {"[]\n", "f.reg:1: section header needs one class name"},
        {"[C]\nprovider: P Q\n", "f.reg:2: 'provider' takes one name"},
        {"[C]\nprovider:\n", "f.reg:2: 'provider' needs a value"},
        {"[C]\nnamespace: a\nnamespace: b\n", "f.reg:3: 'namespace' given twice in [C]"},
        {"[C]\n" + good + "[D]\nprovider: P\n", "f.reg:6: [D] has no 'location'"},
    };
    for (const Case &c : cases) {
        std::vector<hostsim::Registration> regs;
        std::string error;
        EXPECT_FALSE(hostsim::parse_registrations(c.text, "f.reg", &regs, &error)) << c.text;
        EXPECT_EQ(0u, error.rfind(c.expected, 0)) << "got: " << error;
    }
}

class RegisteredHost : public ::testing::Test {
  protected:
    void SetUp() override {
        hostsim::clear_registrations();
        testhost::write_host_files();
        setenv("HOSTSIM_SCENARIO", testhost::kScenario, 1);
        std::string error;
        ASSERT_TRUE(hostsim::load_registry(testhost::kRegistry, "/usr/lib/cim", &load, &error))
            << error;
        context = hostsim::new_context();
    }
    void TearDown() override {
        CMRelease(context);
        hostsim::clear_registrations();
    }

    CMPIData invoke(const char *ns, const char *cls, const char *method, CMPIArgs *in,
                    CMPIArgs *out, CMPIStatus *rc) {
        CMPIObjectPath *path = CMNewObjectPath(mb(), ns, cls, nullptr);
        return CBInvokeMethod(mb(), context, path, method, in, out, rc);
    }

    hostsim::RegistryLoad load;
    CMPIContext *context = nullptr;
    hostsim::CallScope scope;
};

TEST_F(RegisteredHost, EachProviderLoadsOnceAndMissingLibrariesOnlyWarn) {
    EXPECT_EQ(5u, load.routes);
    ASSERT_EQ(1u, load.warnings.size());
    EXPECT_NE(std::string::npos, load.warnings[0].find("Missing_Provider"));
    auto echo = hostsim::find_provider("test/cimv2", "HostsimTest_Echo");
    auto limited = hostsim::find_provider("TEST/LIMITED", "hostsimtest_echo");
    ASSERT_NE(nullptr, echo);
    ASSERT_NE(nullptr, limited);
    EXPECT_EQ(echo->handle, limited->handle);
    EXPECT_EQ(echo->instanceMI, limited->instanceMI);
    auto factoryCalls =
        reinterpret_cast<int (*)()>(dlsym(echo->handle, "hostsimtest_factory_calls"));
    ASSERT_NE(nullptr, factoryCalls);
    EXPECT_EQ(1, factoryCalls()); // the worker serves two namespaces from one load

    CMPIStatus rc{};
    CMPIObjectPath *missing = CMNewObjectPath(mb(), "test/cimv2", "HostsimTest_Missing", nullptr);
    EXPECT_EQ(nullptr, CBEnumInstances(mb(), context, missing, nullptr, &rc));
    EXPECT_EQ(CMPI_RC_ERR_NOT_FOUND, rc.rc);

    std::string error;
    EXPECT_FALSE(hostsim::load_registry("/tmp/none.reg", "/usr/lib/cim", nullptr, &error));
    EXPECT_EQ("/tmp/none.reg: cannot read the registration file", error);
}

TEST_F(RegisteredHost, RegisteredTypesLimitWhatReachesTheProvider) {
    CMPIStatus rc{};
    invoke("test/limited", "HostsimTest_Echo", "Ping", nullptr, nullptr, &rc);
    EXPECT_EQ(CMPI_RC_ERR_METHOD_NOT_AVAILABLE, rc.rc);
    CMPIObjectPath *limited = CMNewObjectPath(mb(), "test/limited", "HostsimTest_Echo", nullptr);
    EXPECT_NE(nullptr, CBEnumInstances(mb(), context, limited, nullptr, &rc));
    EXPECT_EQ(CMPI_RC_OK, rc.rc);
    CMPIObjectPath *worker = CMNewObjectPath(mb(), "test/other", "HostsimTest_Worker", nullptr);
    EXPECT_EQ(nullptr, CBEnumInstances(mb(), context, worker, nullptr, &rc));
    EXPECT_EQ(CMPI_RC_ERR_NOT_SUPPORTED, rc.rc);
    CMPIData pong = invoke("test/other", "HostsimTest_Worker", "Relay", nullptr, nullptr, &rc);
    EXPECT_EQ(CMPI_RC_OK, rc.rc);
    EXPECT_EQ(0u, pong.value.uint32);
}

// The worker clones the Start call's context and routes only once the caller is inside Wait,
// after Start returned and its context was released; other threads call meanwhile.
TEST_F(RegisteredHost, WorkerThreadRoutesWhileTheCallerIsInsideAnotherCall) {
    CMPIContext *startContext = hostsim::new_context();
    CMAddContextEntry(startContext, "hostsim.tag", "from-start", CMPI_chars);
    CMPIStatus rc{};
    {
        hostsim::CallScope callScope;
        CMPIArgs *in = CMNewArgs(mb(), nullptr);
        CMPIUint32 rounds = 50;
        CMAddArg(in, "Rounds", &rounds, CMPI_uint32);
        CMPIObjectPath *path = CMNewObjectPath(mb(), "test/cimv2", "HostsimTest_Worker", nullptr);
        CMPIData started = CBInvokeMethod(mb(), startContext, path, "Start", in, nullptr, &rc);
        ASSERT_EQ(CMPI_RC_OK, rc.rc);
        ASSERT_EQ(0u, started.value.uint32);
    }
    CMRelease(startContext);

    std::atomic<int> good{0};
    std::vector<std::thread> others;
    for (int t = 0; t < 2; ++t) {
        others.emplace_back([&good] {
            CMPIContext *ctx = hostsim::new_context();
            for (int i = 0; i < 50; ++i) {
                hostsim::CallScope callScope;
                CMPIObjectPath *p =
                    CMNewObjectPath(mb(), "test/cimv2", "HostsimTest_Echo", nullptr);
                CMPIStatus st{};
                CMPIEnumeration *e = CBEnumInstances(mb(), ctx, p, nullptr, &st);
                good += st.rc == CMPI_RC_OK && e != nullptr;
            }
            CMRelease(ctx);
        });
    }
    CMPIArgs *out = CMNewArgs(mb(), nullptr);
    CMPIData waited = invoke("test/cimv2", "HostsimTest_Worker", "Wait", nullptr, out, &rc);
    for (auto &thread : others) {
        thread.join();
    }
    ASSERT_EQ(CMPI_RC_OK, rc.rc);
    EXPECT_EQ(0u, waited.value.uint32) << "the worker did not finish";
    EXPECT_EQ(100u, CMGetArg(out, "Instances", nullptr).value.uint32);
    EXPECT_EQ(50u, CMGetArg(out, "Pings", nullptr).value.uint32);
    EXPECT_EQ(0u, CMGetArg(out, "Failures", nullptr).value.uint32);
    EXPECT_STREQ("from-start", CMGetCharPtr(CMGetArg(out, "Tag", nullptr).value.string));
    EXPECT_EQ(100, good.load());
}

// A provider calling the broker from inside its call never waits on the registry, even while
// registrations change.
TEST_F(RegisteredHost, NestedCallsDoNotDeadlockWithRegistrationChanges) {
    std::atomic<bool> stop{false};
    std::thread writer([&stop] {
        auto echo = hostsim::find_provider("test/cimv2", "HostsimTest_Echo");
        while (!stop) {
            hostsim::register_provider("test/extra", "HostsimTest_Echo", echo);
        }
    });
    std::atomic<int> relayed{0};
    std::vector<std::thread> callers;
    for (int t = 0; t < 3; ++t) {
        callers.emplace_back([this, &relayed] {
            for (int i = 0; i < 100; ++i) {
                hostsim::CallScope callScope;
                CMPIStatus st{};
                CMPIData r =
                    invoke("test/cimv2", "HostsimTest_Worker", "Relay", nullptr, nullptr, &st);
                relayed += st.rc == CMPI_RC_OK && r.value.uint32 == 0;
            }
        });
    }
    for (auto &caller : callers) {
        caller.join();
    }
    stop = true;
    writer.join();
    EXPECT_EQ(300, relayed.load());
}

} // namespace
