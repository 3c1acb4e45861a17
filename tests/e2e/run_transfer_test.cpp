// Runs whose packages come through the file-transfer service: from a real tftpd-hpa and a real
// sshd on loopback, and with every return code the service can give.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "run_host.h"
#include "run_packages.h"
#include "run_servers.h"

namespace {

using namespace runhost;

constexpr const char *kService = "QEL_FileTransferService";
constexpr const char *kStoreUri = "file:///var/tmp/filestore/";
constexpr const char *kInstalled = "50: Package installation successfully.";
constexpr const char *kFetched = "10: Package download completed with no error.";

std::vector<std::string> store_files() {
    std::vector<std::string> names;
    for (const auto &file : std::filesystem::directory_iterator(kStore)) {
        names.push_back(file.path().filename());
    }
    return names;
}

// Bytes of every value, longer than several transfer blocks.
std::string binary_image() {
    std::string image;
    for (int i = 0; i < 9000; ++i) {
        image.push_back(static_cast<char>((i * 7 + i / 256) & 0xff));
    }
    return image;
}

class TransferRuns : public RunHost {
  protected:
    static void use_transfer(const Json &fileTransfer) {
        Json scenario = default_scenario();
        for (const auto &item : fileTransfer.items()) {
            scenario["file_transfer"][item.key()] = item.value();
        }
        use_scenario(scenario);
    }

    struct Reply {
        CMPIrc rc = CMPI_RC_OK;
        CMPIUint32 code = 0;
        std::string destination;
    };

    // A request to the service made directly, with one argument, and for a transfer the
    // options and block size the provider sends.
    static Reply ask_service(const char *method, const char *name, const std::string &value) {
        hostsim::CallScope scope;
        const CMPIBroker *broker = hostsim::broker();
        CMPIObjectPath *path = CMNewObjectPath(broker, "qel/cimv2", kService, nullptr);
        CMPIArgs *in = CMNewArgs(broker, nullptr);
        CMPIArgs *out = CMNewArgs(broker, nullptr);
        CMAddArg(in, name, value.c_str(), CMPI_chars);
        if (std::string(method).rfind("Transfer", 0) == 0) {
            CMPIArray *options = CMNewArray(broker, 1, CMPI_uint16, nullptr);
            CMPIUint16 none = 0, block = 2048;
            CMSetArrayElementAt(options, 0, &none, CMPI_uint16);
            CMAddArg(in, "TransferOptions", &options, CMPI_uint16A);
            CMAddArg(in, "BlockSize", &block, CMPI_uint16);
        }
        CMPIContext *context = hostsim::new_context();
        CMPIStatus status{CMPI_RC_OK, nullptr};
        CMPIData returned = CBInvokeMethod(broker, context, path, method, in, out, &status);
        CMRelease(context);
        return {status.rc, returned.value.uint32,
                hostsim::to_text(CMGetArg(out, "DestinationURI", nullptr))};
    }
    static CMPIrc delete_copy(const std::string &fileUri) {
        return ask_service("DeleteTransferredFile", "FileURI", fileUri).rc;
    }

    // Checks a run of uefi and vxc that were fetched, installed and deleted by `method`, with a
    // package "missing" between them that the server does not have.
    static void expect_fetched_run(const RunRecord &run, const std::string &method,
                                   const std::vector<std::string> &sources) {
        EXPECT_EQ("1|uefi: 50: Package installation successfully.|"
                  "missing: 11: Package download failed.|"
                  "vxc: 50: Package installation successfully.|",
                  run.statusText);
        EXPECT_EQ(sources, arg_values(run.journal, kService, method, "SourceURI"));
        for (const Json &request : requests(run.journal, kService, method)) {
            EXPECT_EQ(Json::parse(R"(["uint16[]", [0]])"),
                      entry(request["args"], "TransferOptions"));
            EXPECT_EQ(Json::parse(R"(["uint16", 2048])"), entry(request["args"], "BlockSize"));
            EXPECT_EQ("string", entry(request["args"], "SourceURI")[0]);
        }
        // The controller reads the copies in the store; each is deleted after use.
        EXPECT_EQ(
            (std::vector<std::string>{kStoreUri + std::string("uefi.bin"),
                                      kStoreUri + std::string("vxc.bin")}),
            arg_values(run.journal, "QEL_SoftwareInstallationService", "InstallFromURI", "URI"));
        EXPECT_EQ((std::vector<std::string>{
                      kStoreUri + std::string("uefi.xml"), kStoreUri + std::string("vxc.xml"),
                      kStoreUri + std::string("uefi.bin"), kStoreUri + std::string("vxc.bin")}),
                  arg_values(run.journal, kService, "DeleteTransferredFile", "FileURI"));
        EXPECT_EQ(std::vector<std::string>{}, store_files());
        std::vector<std::string> uefi = statuses_of(run.trace, "uefi");
        EXPECT_EQ(2, std::count(uefi.begin(), uefi.end(), kFetched));
        ASSERT_FALSE(uefi.empty());
        EXPECT_EQ(kInstalled, uefi.back());
    }
};

void write_packages(const std::string &dir) {
    runpkg::write_package(dir, {"uefi", "UEFI", "QEL_UEFI_7.2", {}});
    runpkg::write_package(dir, {"vxc", "VXC", "QEL_VXC_3.0", {"QEL_UEFI_7.2"}});
    testfiles::write(dir + "/image.bin", binary_image());
}

TEST_F(TransferRuns, TftpRunFetchesFromARealServer) {
    runservers::TftpServer server("/tmp/tftproot");
    ASSERT_TRUE(server.ready()) << server.log();
    write_packages("/tmp/tftproot/fw");
    RunRecord run = run_uris(server.url("fw/uefi.xml") + "|" + server.url("fw/missing.xml") + "|" +
                             server.url("fw/vxc.xml"));
    expect_fetched_run(run, "TransferViaTFTP",
                       {server.url("fw/uefi.xml"), server.url("fw/missing.xml"),
                        server.url("fw/vxc.xml"), server.url("fw/uefi.bin"),
                        server.url("fw/vxc.bin")});

    // Byte for byte, over several blocks.
    Reply fetched = ask_service("TransferViaTFTP", "SourceURI", server.url("fw/image.bin"));
    EXPECT_EQ(CMPI_RC_OK, fetched.rc);
    EXPECT_EQ(0u, fetched.code);
    EXPECT_EQ(kStoreUri + std::string("image.bin"), fetched.destination);
    EXPECT_TRUE(binary_image() == testfiles::read("/var/tmp/filestore/image.bin"));

    // The store deletes its own copies only.
    EXPECT_EQ(CMPI_RC_ERR_ACCESS_DENIED, delete_copy("file:///tmp/tftproot/fw/image.bin"));
    EXPECT_EQ(CMPI_RC_ERR_ACCESS_DENIED, delete_copy("file:///var/tmp/filestore/../filestore"));
    EXPECT_TRUE(testfiles::exists("/tmp/tftproot/fw/image.bin"));
    EXPECT_EQ(CMPI_RC_OK, delete_copy(fetched.destination));
    EXPECT_EQ(CMPI_RC_ERR_NOT_FOUND, delete_copy(fetched.destination));
    EXPECT_EQ(std::vector<std::string>{}, store_files());

    // A store that another user replaced by a link is neither written nor deleted in.
    ASSERT_EQ(0, rmdir(kStore));
    ASSERT_EQ(0, mkdir("/tmp/victim", 0755));
    testfiles::write("/tmp/victim/keep", "keep");
    ASSERT_EQ(0, symlink("/tmp/victim", kStore));
    EXPECT_EQ(1u, ask_service("TransferViaTFTP", "SourceURI", server.url("fw/image.bin")).code);
    EXPECT_EQ(CMPI_RC_ERR_ACCESS_DENIED, delete_copy("file:///var/tmp/filestore/keep"));
    EXPECT_FALSE(testfiles::exists("/tmp/victim/image.bin"));
    EXPECT_EQ("keep", testfiles::read("/tmp/victim/keep"));
}

// Nothing answers on the port: the service gives up after its time-out and says so.
TEST_F(TransferRuns, TftpServerThatNeverAnswersTimesOut) {
    use_transfer({{"timeout_seconds", 1}});
    const int port = runservers::free_port(SOCK_DGRAM);
    RunRecord run = run_uris("tftp://127.0.0.1:" + std::to_string(port) + "/fw/uefi.xml");
    EXPECT_EQ("1|uefi: 12: TFTP file transfer timeout.|", run.statusText);
    EXPECT_EQ(1u, requests(run.journal, kService, "TransferViaTFTP").size());
    EXPECT_LT(run.seconds, 10.0);
}

TEST_F(TransferRuns, SftpRunFetchesFromARealServer) {
    runservers::SshServer server("/tmp/sshd");
    ASSERT_TRUE(server.ready()) << server.log();
    write_packages("/tmp/sftp/fw");
    use_transfer({{"sftp",
                   {{"user", "root"},
                    {"private_key", server.user_key()},
                    {"known_hosts", server.known_hosts()}}}});
    const std::string uefi = server.url("/tmp/sftp/fw/uefi.xml");
    const std::string missing = server.url("/tmp/sftp/fw/missing.xml");
    const std::string vxc = server.url("/tmp/sftp/fw/vxc.xml");
    RunRecord run = run_uris(uefi + "|" + missing + "|" + vxc);
    expect_fetched_run(run, "TransferViaURL",
                       {uefi, missing, vxc, server.url("/tmp/sftp/fw/uefi.bin"),
                        server.url("/tmp/sftp/fw/vxc.bin")});

    Reply fetched =
        ask_service("TransferViaURL", "SourceURI", server.url("/tmp/sftp/fw/image.bin"));
    EXPECT_EQ(0u, fetched.code);
    EXPECT_TRUE(binary_image() == testfiles::read("/var/tmp/filestore/image.bin"));
    EXPECT_EQ(CMPI_RC_OK, delete_copy(fetched.destination));

    // A key the server does not know: no file comes, nothing is installed.
    use_transfer({{"sftp", {{"user", "root"}, {"private_key", server.stranger_key()}}}});
    run = run_uris(uefi + "|" + vxc);
    EXPECT_EQ("1|uefi: 11: Package download failed.|vxc: 11: Package download failed.|",
              run.statusText);
    EXPECT_TRUE(requests(run.journal, "QEL_SoftwareInstallationService", "InstallFromURI").empty());
}

// The service's codes, forced by the scenario, one package each in index order; the sixth
// package's transfers are asynchronous (5), so it is read and installed from the destination
// the service names.
TEST_F(TransferRuns, EveryReturnCodeIsRecorded) {
    runpkg::write_package("/tmp/async", {"later", "UEFI", "QEL_UEFI_7.2", {}});
    const Json reply = {{"return", {1, 2, 3, 4, 7, 5}},
                        {"out", {{"DestinationURI", "file:///tmp/async/later.xml"}}}};
    const std::vector<std::string> ids = {"p1", "p2", "p3", "p4", "p7", "p5"};
    struct Kind {
        const char *scheme;
        const char *method;
        const char *name;
    } kinds[] = {{"tftp", "TransferViaTFTP", "TFTP"}, {"sftp", "TransferViaURL", "SFTP"}};
    for (const Kind &kind : kinds) {
        SCOPED_TRACE(kind.method);
        use_transfer(
            {{"methods", {{kind.method, reply}, {"DeleteTransferredFile", Json::object()}}}});
        RunRecord run =
            run_uris(runpkg::uri_list(std::string(kind.scheme) + "://127.0.0.1/pkgs/", ids));
        EXPECT_EQ(std::string("1|p1: 11: Package download failed.|"
                              "p2: 12: TFTP file transfer timeout.|"
                              "p3: 13: Invalid input parameter in ") +
                      kind.name +
                      " file transfer.|"
                      "p4: 14: Not enough space on VMWare ESXi storage.|"
                      "p7: 17: Unknown Error when package downloading|"
                      "p5: 50: Package installation successfully.|",
                  run.statusText);
        const std::string async = std::string("15: Asynchronous ") + kind.name + " transfer";
        std::vector<std::string> p5 = statuses_of(run.trace, "p5");
        EXPECT_EQ(
            (std::vector<std::string>{"0: Package Initialization finished successfully", async,
                                      async}),
            std::vector<std::string>(p5.begin(), p5.begin() + std::min<size_t>(3, p5.size())));
        // Failed packages are skipped: one transfer each, and only p5's payload after them.
        EXPECT_EQ(7u, requests(run.journal, kService, kind.method).size());
        EXPECT_EQ(
            (std::vector<std::string>{"file:///tmp/async/later.xml"}),
            arg_values(run.journal, "QEL_SoftwareInstallationService", "InstallFromURI", "URI"));
    }
}

// A transfer without a DestinationURI, and a transfer call that fails as a whole.
TEST_F(TransferRuns, MissingDestinationAndFailedCalls) {
    use_transfer(
        {{"methods",
          {{"TransferViaTFTP",
            {{"return", 0},
             {"omit", Json::array({"DestinationURI"})},
             {"status", {nullptr, {{"rc", 1}, {"message", "transfer service is busy"}}, nullptr}}}},
           {"DeleteTransferredFile", Json::object()}}}});
    RunRecord run = run_uris("tftp://127.0.0.1/pkgs/a.xml|tftp://127.0.0.1/pkgs/b.xml");
    // a's descriptor never arrives, yet a goes on to its payload, which again has no location.
    EXPECT_EQ("0|a: 18: Invalid Destination URI from TFTP file transfer|"
              "b: 16: Package download error message: transfer service is busy|",
              run.statusText);
    EXPECT_EQ(
        (std::vector<std::string>{"0: Package Initialization finished successfully", kFetched,
                                  "18: Invalid Destination URI from TFTP file transfer", kFetched,
                                  "18: Invalid Destination URI from TFTP file transfer"}),
        statuses_of(run.trace, "a"));
    EXPECT_EQ((std::vector<std::string>{"tftp://127.0.0.1/pkgs/a.xml",
                                        "tftp://127.0.0.1/pkgs/b.xml", "tftp://127.0.0.1/pkgs/"}),
              arg_values(run.journal, kService, "TransferViaTFTP", "SourceURI"));

    use_transfer({{"methods",
                   {{"TransferViaURL", {{"return", 0}, {"omit", Json::array({"DestinationURI"})}}},
                    {"DeleteTransferredFile", Json::object()}}}});
    run = run_uris("sftp://127.0.0.1/pkgs/a.xml");
    EXPECT_EQ("1|a: 18: Invalid Destination URI from SFTP file transfer|", run.statusText);
}

} // namespace
