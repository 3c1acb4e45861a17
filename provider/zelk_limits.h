// Fixed paths, names and limits of the provider. Nothing at run time changes them.
#pragma once

namespace zelk {

constexpr int kMaxPackages = 20;
constexpr int kTextSize = 200; // every text field holds at most 199 characters
constexpr int kMaxPreReqs = 5;
constexpr int kMaxDfnDevices = 50;
constexpr int kMaxPayloads = 100;
constexpr int kInstanceIdSize = 40;
constexpr int kStatusTextSize = 1024; // status text: at most 1023 characters
// Package descriptors and payload configurations are a few kilobytes; a larger file is refused
// rather than read for as long as it lasts.
constexpr long kMaxMetadataFileBytes = 1L << 20;

constexpr const char *kTraceLogPath = "/tmp/zelkdebug.txt";
constexpr const char *kStatusFilePrefix = "/tmp/zelkstat";
constexpr const char *kStatusFileFormat = "/tmp/zelkstatZELK-%d.txt";
constexpr const char *kStatusSideRecordPath = "/tmp/getZELKStatus.txt";
constexpr const char *kRunLockPath = "/tmp/sfcb/zelk.safelock";
constexpr const char *kFileStorePath = "/var/tmp/filestore";
constexpr const char *kWorkingAreaPath = "/var/tmp/QEL/Xorvo/Package/";
constexpr const char *kJobLibraryPath = "/usr/lib/cim/libconcretejob.so";
constexpr const char *kProviderLibraryPath = "/usr/lib/cim/libzelkprovider.so";

} // namespace zelk
