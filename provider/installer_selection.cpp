// Installer selection and dispatch: the package's category decides first, then its name.
#include <cstring>

#include "install_driver.h"
#include "installers.h"
#include "zelk_pkg_installer_broker.h"

namespace {

bool equals(const char *text, const char *expected) {
    return std::strcmp(text, expected) == 0;
}
bool begins_with(const char *text, const char *prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}
bool contains(const char *text, const char *part) {
    return std::strstr(text, part) != nullptr;
}

struct CategoryRule {
    const char *category;
    InstallerFunc installer;
};

constexpr CategoryRule kCategoryRules[] = {
    {"UEFI", installESWPkg}, {"VXC", installESWPkg},
    {"FPGA", installESWPkg}, {"Diagnostics", installESWPkg},
    {"VXC2", installESWPkg}, {"Hard Disk Drive", installLSIPkg},
    {"SAS", installLSIPkg},  {"Korvastor", installLSIPkg},
};

InstallerFunc installer_by_name(const PkgInstance &pkg) {
    const char *name = pkg.Name;
    if (contains(name, "Broadcom")) {
        return installBroadcomPkg;
    }
    if (begins_with(name, "VMware")) {
        return installVMPkg;
    }
    if (begins_with(name, "Emulex")) {
        return equals(pkg.category, "Fibre") ? installElxFCPkg : installElxCNAPkg;
    }
    if (begins_with(name, "QLogic") || begins_with(name, "Qlogic") || contains(name, "FC3172")) {
        return installQlgPkg;
    }
    if (begins_with(name, "Brocade")) {
        return installBrocadePkg;
    }
    return nullptr;
}

} // namespace

void getPkgProviderName(int32_t pkgIndex) {
    PkgInstance &pkg = pkgInstance[pkgIndex];
    for (const CategoryRule &rule : kCategoryRules) {
        if (equals(pkg.category, rule.category)) {
            pkg.InstallFunc = rule.installer;
            return;
        }
    }
    pkg.InstallFunc = installer_by_name(pkg);
}

int32_t DeployUpdate(int32_t pkgIndex, const CMPIContext *ctx) {
    trace("Begin to Deploy.\n");
    getPkgProviderName(pkgIndex);
    InstallerFunc installer = pkgInstance[pkgIndex].InstallFunc;
    return installer ? installer(pkgIndex, ctx) : -1;
}
