#include "run_init.h"

#include <cstring>

#include "pkg_table.h"
#include "status_recording.h"
#include "trace_log.h"

namespace {

// Copies one list entry of `length` characters into a text field, cut at 199 characters.
void store_entry(char (&field)[zelk::kTextSize], const char *entry, size_t length) {
    if (length >= sizeof field) {
        tracef("Package URI of %zu characters cut to %d.\n", length, zelk::kTextSize - 1);
        length = sizeof field - 1;
    }
    std::memcpy(field, entry, length);
    field[length] = '\0';
}

// The payload directory: the descriptor URI up to and including its last "/". An entry without
// "/" has no directory, and its payload location stays empty.
void store_payload_directory(PkgInstance &pkg) {
    copy_text(pkg.TFTPPayloadPkgURIs, pkg.XMLPath);
    char *lastSlash = std::strrchr(pkg.TFTPPayloadPkgURIs, '/');
    if (lastSlash != nullptr) {
        lastSlash[1] = '\0';
    } else {
        pkg.TFTPPayloadPkgURIs[0] = '\0';
        trace("Package URI has no \"/\"; no payload location.\n");
    }
}

int32_t location_of(const char *uri) {
    // "tftp://" and "sftp://" both contain "ftp://": the order of the tests matters.
    if (std::strstr(uri, "file://")) {
        return file_location::kLocal;
    }
    if (std::strstr(uri, "tftp://")) {
        return file_location::kTftp;
    }
    if (std::strstr(uri, "sftp://")) {
        return file_location::kSftp;
    }
    if (std::strstr(uri, "ftp://")) {
        return file_location::kHypervisorBundle;
    }
    trace("Unknown file location .\n");
    return file_location::kUnknown;
}

} // namespace

void initPkgInstall(const char *uriList) {
    if (uriList == nullptr) {
        uriList = "";
    }
    trace("Enter initPkgInstall.\n");
    trace("Package URI list:");
    debug(uriList);
    debug("\n");

    set_totalstatus(0);

    const char *entry = uriList;
    int count = 0;
    for (int i = 0; i < zelk::kMaxPackages; ++i) {
        PkgInstance &pkg = pkgInstance[i];
        std::memset(&pkg, 0, sizeof pkg);

        const char *separator = std::strchr(entry, '|');
        size_t length = separator ? static_cast<size_t>(separator - entry) : std::strlen(entry);
        store_entry(pkg.XMLPath, entry, length);
        store_payload_directory(pkg);

        pkg.OrderFlag = order_flag::kUnread;
        copy_text(pkg.supersedes, "No supersedes");
        pkg.preReqCount = 0;
        update_Pkg_Install_status(i, status_code::kInitialized,
                                  "Package Initialization finished successfully");

        tracef("%d Package XML path:%s\n", i, pkg.XMLPath);
        tracef("%d Package URI address:%s\n", i, pkg.TFTPPayloadPkgURIs);
        count = i + 1;
        if (separator == nullptr) {
            break;
        }
        entry = separator + 1;
    }

    pkgnum = count;
    tracef("Total Package number is %d\n", pkgnum);
    filelocation = location_of(pkgInstance[0].XMLPath);
    trace("Complete initPkgInstall.\n");
}
