// What the archive-based installers share: the archive path of a package, the install codes of
// one vendor request, the status each code records and the InstallFromURI call itself.
#pragma once

#include <cstdint>
#include <string>

#include <cmpi/cmpift.h>

// Install codes of one vendor request: ours (1, 4098) and the vendor's (0, 4097, 4107, others).
namespace install_code {
constexpr int32_t kInstalled = 0;
constexpr int32_t kNotBuilt = 1; // an object path or argument list could not be made
constexpr int32_t kUnsupportedTarget = 4097;
constexpr int32_t kBrokerFailed = 4098;
constexpr int32_t kPathMissing = 4107;
constexpr int32_t kNoReturnValue = -1; // the broker said OK but handed back no integer
} // namespace install_code

// Holds the text after the first "/" of a LocalFileURI: at most 199 characters.
constexpr int kArchivePathSize = 200;

// "file:///p" gives "//p". Without any "/" the path is empty, which Minizip refuses.
void archive_path_of(const char *localFileURI, char (&archive)[kArchivePathSize]);

// The failure messages whose letter case differs between vendors.
struct InstallMessages {
    const char *createFailed; // status 54
    const char *unsupported;  // status 58
};
extern const InstallMessages kCapitalisedMessages;
extern const InstallMessages kLowerCaseMessages;

// Records the package's status for one install code: 50 for 0 (returns 0); 54, 58, 55 for 1,
// 4097, 4107 and 57 for anything else (returns 1).
int32_t record_install_code(int32_t pkgIndex, int32_t code, const InstallMessages &messages);

// What one InstallFromURI call gave back.
struct InvokeOutcome {
    bool brokerOk = false;
    int32_t returned = install_code::kNoReturnValue; // the method's value, read as 32 bits
    std::string message;                             // the broker's text when not OK
    int32_t code() const { return brokerOk ? returned : install_code::kBrokerFailed; }
};

// Calls InstallFromURI on `service` with `in` and an empty output list (made and released here).
InvokeOutcome invoke_install_from_uri(const CMPIContext *ctx, const CMPIObjectPath *service,
                                      const CMPIArgs *in);

// "Package installation error message: " and the broker's text, as one trace record.
void trace_broker_error(const std::string &message);

// One trace record: the label, then the value verbatim.
void trace_labelled(const char *label, const char *value);
