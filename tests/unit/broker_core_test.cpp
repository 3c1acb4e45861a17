#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <cmpi/cmpimacs.h>

#include "hostsim_broker.h"

namespace {

const CMPIBroker *mb() {
    return hostsim::broker();
}

TEST(BrokerObjects, ValuesAreCopiedAndCharsComeBackAsStrings) {
    hostsim::CallScope scope;
    CMPIArgs *args = CMNewArgs(mb(), nullptr);
    char uri[] = "file:///p/a.xml";
    CMAddArg(args, "URI", uri, CMPI_chars);
    uri[0] = 'X'; // the broker holds its own copy

    CMPIArray *options = CMNewArray(mb(), 2, CMPI_uint16, nullptr);
    CMPIUint16 sync = 32768, async = 32769;
    CMSetArrayElementAt(options, 0, &sync, CMPI_uint16);
    CMSetArrayElementAt(options, 1, &async, CMPI_uint16);
    CMAddArg(args, "InstallOptions", &options, CMPI_uint16A);
    CMRelease(options); // released early: the argument keeps its own array

    CMPIStatus rc{};
    CMPIData uriData = CMGetArg(args, "uri", &rc); // names compare without case
    EXPECT_EQ(CMPI_RC_OK, rc.rc);
    EXPECT_EQ(CMPI_string, uriData.type);
    EXPECT_STREQ("file:///p/a.xml", CMGetCharsPtr(uriData.value.string, nullptr));
    EXPECT_STREQ("file:///p/a.xml", CMGetCharPtr(uriData.value.string)); // reads hdl

    CMPIData optionData = CMGetArg(args, "InstallOptions", nullptr);
    ASSERT_EQ(CMPI_uint16A, optionData.type);
    EXPECT_EQ(2u, CMGetArrayCount(optionData.value.array, nullptr));
    EXPECT_EQ(32769, CMGetArrayElementAt(optionData.value.array, 1, nullptr).value.uint16);
    EXPECT_EQ("32768,32769", hostsim::to_text(optionData));

    CMPIData missing = CMGetArg(args, "UpdateArgs", &rc);
    EXPECT_EQ(CMPI_RC_ERR_NOT_FOUND, rc.rc);
    EXPECT_TRUE(missing.state & CMPI_notFound);
    EXPECT_EQ(2u, CMGetArgCount(args, nullptr));

    CMPIData outOfRange = CMGetArrayElementAt(optionData.value.array, 9, &rc);
    EXPECT_NE(CMPI_RC_OK, rc.rc);
    EXPECT_TRUE(outOfRange.state & CMPI_badValue);
}

TEST(BrokerObjects, ClonesOutliveTheCallScopeAndReleaseOnce) {
    CMPIObjectPath *kept = nullptr;
    {
        hostsim::CallScope scope;
        CMPIObjectPath *path = CMNewObjectPath(mb(), "zelk/cimv2", "CIM_ConcreteJob", nullptr);
        CMAddKey(path, "InstanceID", "ZELK-1", CMPI_chars);
        kept = CMClone(path, nullptr);
        CMPIString *early = CMNewString(mb(), "released before the scope ends", nullptr);
        CMRelease(early);
    }
    EXPECT_EQ("zelk/cimv2:CIM_ConcreteJob.InstanceID=\"ZELK-1\"", hostsim::path_to_text(kept));
    CMRelease(kept);
}

TEST(BrokerObjects, ClonedContextStaysUsableAfterTheOriginalGoes) {
    CMPIContext *ctx = hostsim::new_context();
    CMAddContextEntry(ctx, "CMPIPrincipal", "root", CMPI_chars);
    CMPIContext *copy = native_clone_CMPIContext(ctx);
    CMRelease(ctx);
    hostsim::CallScope scope;
    CMPIData principal = CMGetContextEntry(copy, "CMPIPrincipal", nullptr);
    EXPECT_EQ("root", hostsim::to_text(principal));
    CMRelease(copy);
    EXPECT_EQ(nullptr, native_clone_CMPIContext(nullptr));
}

TEST(BrokerObjects, InstancePropertyFilterAndNullValues) {
    hostsim::CallScope scope;
    CMPIObjectPath *path = CMNewObjectPath(mb(), "root/cimv2", "X", nullptr);
    CMPIInstance *inst = CMNewInstance(mb(), path, nullptr);
    const char *keep[] = {"Name", nullptr};
    CMSetPropertyFilter(inst, keep, nullptr);
    CMSetProperty(inst, "Name", "n", CMPI_chars);
    CMSetProperty(inst, "Other", "o", CMPI_chars);
    CMSetProperty(inst, "NAME", nullptr, CMPI_string); // replaces, as a NULL value
    EXPECT_EQ(1u, CMGetPropertyCount(inst, nullptr));
    EXPECT_EQ("NULL", hostsim::to_text(CMGetProperty(inst, "name", nullptr)));
}

TEST(BrokerRouting, UnknownTargetsGiveNotFound) {
    hostsim::CallScope scope;
    CMPIContext *ctx = hostsim::new_context();
    CMPIObjectPath *path = CMNewObjectPath(mb(), "nowhere/cimv2", "Nothing", nullptr);
    CMPIStatus rc{};
    CMPIData data = CBInvokeMethod(mb(), ctx, path, "Go", nullptr, nullptr, &rc);
    EXPECT_EQ(CMPI_RC_ERR_NOT_FOUND, rc.rc);
    EXPECT_TRUE(data.state & CMPI_notFound);
    EXPECT_EQ(nullptr, CBEnumInstances(mb(), ctx, path, nullptr, &rc));
    EXPECT_EQ(CMPI_RC_ERR_NOT_FOUND, rc.rc);
    EXPECT_EQ(nullptr, CBGetInstance(mb(), ctx, path, nullptr, &rc));
    EXPECT_EQ(CMPI_RC_ERR_NOT_FOUND, CBDeleteInstance(mb(), ctx, path).rc);
    CMRelease(ctx);
}

TEST(BrokerRouting, MissingLibraryOrFactoryIsReported) {
    std::string error;
    EXPECT_EQ(nullptr, hostsim::load_provider("/usr/lib/cim/libnothing.so", "X", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(nullptr, hostsim::load_provider("/usr/lib/cim/libzelkprovider.so", "Other", &error));
    EXPECT_NE(std::string::npos, error.find("no factory"));
}

TEST(BrokerObjects, ThreadsBuildObjectsConcurrently) {
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&good, t] {
            for (int i = 0; i < 200; ++i) {
                hostsim::CallScope scope;
                CMPIObjectPath *path = CMNewObjectPath(mb(), "ns", "C", nullptr);
                std::string id = std::to_string(t) + "-" + std::to_string(i);
                CMAddKey(path, "Id", id.c_str(), CMPI_chars);
                good += hostsim::to_text(CMGetKey(path, "Id", nullptr)) == id;
            }
        });
    }
    for (auto &thread : threads) {
        thread.join();
    }
    EXPECT_EQ(800, good.load());
}

} // namespace
