#include <gtest/gtest.h>

#include <string>
#include <sys/utsname.h>

#include "provider_session.h"
#include "test_files.h"

namespace {

using namespace testprovider;

class ProviderFrame : public ::testing::Test {
  protected:
    void SetUp() override {
        provider = load();
        ASSERT_NE(nullptr, provider);
        ASSERT_NE(nullptr, provider->instanceMI);
        ASSERT_NE(nullptr, provider->methodMI);
        context = hostsim::new_context();
    }
    void TearDown() override { CMRelease(context); }

    CMPIStatus invoke(const char *className, const char *method, hostsim::Result &result) {
        CMPIObjectPath *path = service_path(className);
        CMPIArgs *in = CMNewArgs(hostsim::broker(), nullptr);
        CMPIArgs *out = CMNewArgs(hostsim::broker(), nullptr);
        return provider->methodMI->ft->invokeMethod(provider->methodMI, context, result.get(), path,
                                                    method, in, out);
    }

    std::shared_ptr<hostsim::Provider> provider;
    CMPIContext *context = nullptr;
    hostsim::CallScope scope;
};

std::string node_name() {
    struct utsname host {};
    uname(&host);
    return host.nodename;
}

TEST_F(ProviderFrame, FactoriesTraceInitialisationOncePerMI) {
    int count = 0;
    for (const std::string &m : testfiles::trace_messages()) {
        count += m == "ZELK:  Initializing the QEL vmware package installation Provider.";
    }
    EXPECT_EQ(2, count);
    EXPECT_EQ(200, provider->methodMI->ft->ftVersion);
    EXPECT_STREQ("methodQEL_VMWarePackageInstallationProvider", provider->methodMI->ft->miName);
    EXPECT_STREQ("instanceQEL_VMWarePackageInstallationProvider", provider->instanceMI->ft->miName);
}

TEST_F(ProviderFrame, UnloadAnswersBeforeAnyRun) {
    CMPIStatus st = provider->instanceMI->ft->cleanup(provider->instanceMI, context, 1);
    EXPECT_EQ(CMPI_RC_NEVER_UNLOAD, st.rc);
    EXPECT_EQ(nullptr, st.msg);
    st = provider->methodMI->ft->cleanup(provider->methodMI, context, 1);
    EXPECT_EQ(CMPI_RC_NEVER_UNLOAD, st.rc);
    EXPECT_EQ("calling QEL_VMWarePackageInstallationProviderMethodCleanup.",
              testfiles::trace_messages().back());
}

TEST_F(ProviderFrame, RefusedInstanceOperationsWriteNothing) {
    CMPIInstanceMI *mi = provider->instanceMI;
    CMPIObjectPath *path = service_path();
    CMPIInstance *instance = CMNewInstance(hostsim::broker(), path, nullptr);
    const std::string logBefore = testfiles::trace_log();
    hostsim::Result result;
    CMPIStatus statuses[] = {
        mi->ft->createInstance(mi, context, result.get(), path, instance),
        mi->ft->modifyInstance(mi, context, result.get(), path, instance, nullptr),
        mi->ft->deleteInstance(mi, context, result.get(), path),
        mi->ft->execQuery(mi, context, result.get(), path, "SELECT * FROM x", "WQL"),
    };
    for (const CMPIStatus &st : statuses) {
        EXPECT_EQ(CMPI_RC_ERR_NOT_SUPPORTED, st.rc);
        EXPECT_EQ(nullptr, st.msg);
    }
    EXPECT_TRUE(result.data().empty());
    EXPECT_FALSE(result.done());
    EXPECT_EQ(logBefore, testfiles::trace_log());
}

TEST_F(ProviderFrame, TheOneServiceInstanceAndName) {
    CMPIInstanceMI *mi = provider->instanceMI;
    CMPIObjectPath *nonsense = CMNewObjectPath(hostsim::broker(), "other/ns", "Nothing", nullptr);
    CMAddKey(nonsense, "Name", "no such thing", CMPI_chars);

    for (bool enumerate : {true, false}) {
        hostsim::Result result;
        CMPIStatus st =
            enumerate ? mi->ft->enumerateInstances(mi, context, result.get(), nonsense, nullptr)
                      : mi->ft->getInstance(mi, context, result.get(), nonsense, nullptr);
        EXPECT_EQ(CMPI_RC_OK, st.rc);
        EXPECT_TRUE(result.done());
        ASSERT_EQ(1u, result.instances().size());
        const CMPIInstance *instance = result.instances()[0];
        EXPECT_EQ("CIM_ComputerSystem", property(instance, "SystemCreationClassName"));
        EXPECT_EQ(node_name(), property(instance, "SystemName"));
        EXPECT_EQ("QEL_PackageInstallationBroker", property(instance, "CreationClassName"));
        EXPECT_EQ("QEL:PackageInstallationBroker", property(instance, "Name"));
        CMPIObjectPath *path = CMGetObjectPath(instance, nullptr);
        EXPECT_EQ("zelk/cimv2:XORVO_VMpkgInstallationService", hostsim::path_to_text(path));
    }

    hostsim::Result names;
    EXPECT_EQ(CMPI_RC_OK, mi->ft->enumerateInstanceNames(mi, context, names.get(), nonsense).rc);
    ASSERT_EQ(1u, names.objectPaths().size());
    const CMPIObjectPath *path = names.objectPaths()[0];
    EXPECT_EQ("QEL:QEL_PackageInstallationBroker", key(path, "Name"));
    EXPECT_EQ(node_name(), key(path, "SystemName"));
    EXPECT_EQ(4u, CMGetKeyCount(path, nullptr));
    EXPECT_EQ("Complete QEL_VMWarePackageInstallationProviderEnumInstances.",
              testfiles::trace_messages().back());
}

TEST_F(ProviderFrame, MaintenanceMethodsAnswerZero) {
    testfiles::write("/tmp/sfcb/zelk.safelock", "");
    for (const char *method : {"resetcimmon", "DeleteZELKDebugLogFile"}) {
        hostsim::Result result;
        CMPIStatus st = invoke("xorvo_vmpkginstallationservice", method, result);
        EXPECT_EQ(CMPI_RC_OK, st.rc) << method;
        ASSERT_EQ(1u, result.data().size());
        EXPECT_EQ(CMPI_uint32, result.data()[0].type);
        EXPECT_EQ(0u, result.data()[0].value.uint32);
    }
    EXPECT_FALSE(testfiles::exists("/tmp/sfcb/zelk.safelock"));
    EXPECT_EQ((std::vector<std::string>{
                  "Successfully to delete /tmp/zelkdebug.txt",
                  "Complete QEL_VMWarePackageInstallationProviderInvokeMethod.",
              }),
              testfiles::trace_messages());
}

TEST_F(ProviderFrame, WrongClassOrMethodIsRefused) {
    struct Case {
        const char *className, *method;
    } cases[] = {{"CIM_SoftwareInstallationService", "ResetCimmon"}, {kClass, "Reboot"}};
    for (const Case &c : cases) {
        hostsim::Result result;
        CMPIStatus st = invoke(c.className, c.method, result);
        EXPECT_EQ(CMPI_RC_ERR_METHOD_NOT_FOUND, st.rc);
        ASSERT_NE(nullptr, st.msg);
        EXPECT_STREQ("InValid Method Name", CMGetCharsPtr(st.msg, nullptr));
    }
    EXPECT_TRUE(testfiles::exists("/tmp/zelkdebug.txt"));
}

} // namespace
