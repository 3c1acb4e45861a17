// The adapter installer family (Brocade, Emulex CNA, Emulex FC, QLogic): after a member has
// found its adapters, the family unpacks the package, matches payloads to adapters and installs
// each payload on its adapter through the vendor's InstallFromURI. Everything vendor-specific is
// data in an AdapterFamily.
#pragma once

#include "broker_helpers.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include <cmpi/cmpift.h>

#include "archive_install.h"

// Where a key of a vendor object path takes its value from.
enum class KeyFrom { kFixed, kSystemName, kDeviceID };

struct AdapterKey {
    const char *name;
    KeyFrom from;
    const char *fixed; // the value when from is kFixed
};

// A vendor object path: its class and its four keys, added in this order, all as chars.
struct AdapterPath {
    const char *className;
    AdapterKey keys[4];
};

// What the member does when the archive cannot be unpacked.
enum class UnpackFailure {
    kGoOn,        // install from whatever the working area holds
    kStopWithCode // return the Minizip code at once
};

// The members' trace wordings.
enum class TraceWording { kBrocade, kEmulex };

struct AdapterFamily {
    const char *installer;     // the package entry's name, for its Enter and Complete records
    const char *vendor;        // as in "Install <vendor> %d package. ..."
    const char *singleInstall; // the single-install step's name, for its error record
    const char *nameSpace;
    AdapterPath service;
    AdapterPath target;
    bool installOptions;          // InstallOptions goes before Target
    const char *noAdapterMessage; // status 57 text when no adapter was found
    const InstallMessages *messages;
    UnpackFailure unpackFailure;
    int32_t payloadFailureResult; // package result after a failed payload
    TraceWording wording;
};

// Package result when the member found no adapter.
constexpr int32_t kNoAdapterResult = 4098;

// The package entry after discovery: no adapter (57), unpacking, payload matching, the payload
// loop and removal of the working area after success. More adapters or payload matches than the
// record holds install nothing and record 57.
int32_t install_adapter_package(const AdapterFamily &family, int32_t pkgIndex,
                                const CMPIContext *ctx);

// Installs Payloads in order and records the status: 0 when all went in (or there were none),
// 1 at the first failure, whose later payloads are not tried.
int32_t install_adapter_payloads(const AdapterFamily &family, int32_t pkgIndex,
                                 const CMPIContext *ctx);

// One InstallFromURI of `payloadPath` on the adapter `deviceId`; returns the install code.
int32_t install_adapter_payload(const AdapterFamily &family, const CMPIContext *ctx,
                                const char *payloadPath, const char *deviceId);

// Discovery helpers for the members.
void clear_adapters(int32_t pkgIndex);
// Appends one adapter entry (texts cut at 199 characters); false once the table is full, and
// the adapter counts as left out.
bool add_adapter(int32_t pkgIndex, const std::string &dfn, const std::string &deviceId);
