// Package retrieval when the file-transfer service cannot be addressed or fails, and for a
// file location of a kind the provider does not know.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fake_vendor.h"
#include "hostsim_broker.h"
#include "package_retrieval.h"
#include "test_files.h"
#include "zelk_pkg_installer_broker.h"

namespace {

using fakevendor::Vendor;

constexpr const char *kTransferClass = "QEL_FileTransferService";

// A broker that cannot make object paths of the transfer service.
CMPIBrokerEncFT gFailingEft;
CMPIBroker gFailingBroker;

CMPIObjectPath *new_path_unless_transfer(const CMPIBroker *, const char *ns, const char *cls,
                                         CMPIStatus *rc) {
    if (std::strcmp(cls, kTransferClass) == 0) {
        return nullptr;
    }
    return hostsim::broker()->eft->newObjectPath(hostsim::broker(), ns, cls, rc);
}

const CMPIBroker *broker_without_transfer_paths() {
    gFailingBroker = *hostsim::broker();
    gFailingEft = *gFailingBroker.eft;
    gFailingEft.newObjectPath = new_path_unless_transfer;
    gFailingBroker.eft = &gFailingEft;
    return &gFailingBroker;
}

class RetrievalEdges : public ::testing::Test {
  protected:
    void SetUp() override {
        QEL_VMWarePackageInstallationBroker = hostsim::broker();
        std::memset(&pkgInstance[0], 0, sizeof pkgInstance[0]);
        copy_text(pkgInstance[0].XMLPath, "tftp://host/pkg.xml");
        copy_text(pkgInstance[0].LocalFileURI, "/var/tmp/filestore/old.xml");
        pkgnum = 1;
        transfer.serve(kTransferClass);
    }
    void TearDown() override {
        QEL_VMWarePackageInstallationBroker = hostsim::broker();
        filelocation = 0;
        CMRelease(ctx);
    }
    std::string status() const { return pkgInstance[0].StatusLine; }

    hostsim::CallScope scope;
    CMPIContext *ctx = hostsim::new_context();
    Vendor transfer{"qel/cimv2"};
};

TEST_F(RetrievalEdges, TransferServiceWithoutAPathFetchesNothing) {
    struct Case {
        int32_t location;
        const char *kind;
        const char *trace;
    } cases[] = {
        {file_location::kTftp, "TFTP",
         "fail to get object path from qel/cimv2:QEL_FileTransferService.\n"},
        {file_location::kSftp, "SFTP",
         "fail to get object path from qel/cimv2:QEL_FileTransferService .\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.kind);
        SetUp();
        filelocation = c.location;
        QEL_VMWarePackageInstallationBroker = broker_without_transfer_paths();

        EXPECT_EQ(0, GetFileFromLocalOrTFTP("tftp://host/pkg.xml", 0, ctx));
        // The download error marks the package failed; the missing destination, recorded
        // after it, is the status that stays.
        EXPECT_EQ(order_flag::kFailed, pkgInstance[0].OrderFlag);
        EXPECT_EQ(std::string("pkg: 18: Invalid Destination URI from ") + c.kind + " file transfer",
                  status());
        EXPECT_STREQ("", pkgInstance[0].LocalFileURI);
        EXPECT_NE(std::string::npos, testfiles::trace_log().find(c.trace));
        EXPECT_NE(std::string::npos,
                  testfiles::trace_log().find(
                      "Package download error message: Create CMPIObjectPath failed."));
        EXPECT_TRUE(transfer.calls.empty());
    }
}

TEST_F(RetrievalEdges, RefusedTransferRecordsTheBrokersTextAndNothingElse) {
    transfer.brokerError = true;
    for (const std::string text : {"transfer service is busy", ""}) {
        SCOPED_TRACE(text);
        SetUp();
        filelocation = file_location::kTftp;
        transfer.brokerErrorText = text;
        EXPECT_EQ(0, GetFileFromLocalOrTFTP("tftp://host/pkg.xml", 0, ctx));
        EXPECT_EQ("pkg: 16: Package download error message: " + text, status());
        EXPECT_EQ(order_flag::kFailed, pkgInstance[0].OrderFlag);
        EXPECT_STREQ("", pkgInstance[0].LocalFileURI);
    }
}

TEST_F(RetrievalEdges, DeletionRequestsThatCannotBeSentOrFailAreOnlyTraced) {
    QEL_VMWarePackageInstallationBroker = broker_without_transfer_paths();
    deleteTransferedFile("/var/tmp/filestore/pkg.xml", ctx);
    EXPECT_TRUE(transfer.calls.empty());
    EXPECT_NE(std::string::npos,
              testfiles::trace_log().find("Can't create deleteTransferedFile object.\n"));

    QEL_VMWarePackageInstallationBroker = hostsim::broker();
    transfer.brokerError = true;
    deleteTransferedFile("/var/tmp/filestore/pkg.xml", ctx);
    ASSERT_EQ(1u, transfer.calls.size());
    EXPECT_EQ("FileURI:string=/var/tmp/filestore/pkg.xml", transfer.calls[0].args);
    const std::string log = testfiles::trace_log();
    EXPECT_NE(std::string::npos, log.find("deleteTransferedFile failed.\n"));
    EXPECT_NE(std::string::npos, log.find("Error message:vendor provider failed\n"));
    EXPECT_EQ(std::string::npos, log.find("Complete deleteTransferedFile."));
    EXPECT_EQ("", status());
}

TEST_F(RetrievalEdges, UnknownLocationKindIsPassedBackAndFetchesNothing) {
    filelocation = file_location::kUnknown;
    EXPECT_EQ(file_location::kUnknown, GetFileFromLocalOrTFTP("tftp://host/pkg.xml", 0, ctx));
    EXPECT_STREQ("/var/tmp/filestore/old.xml", pkgInstance[0].LocalFileURI);
    EXPECT_TRUE(transfer.calls.empty());
    EXPECT_EQ("", status());
}

} // namespace
