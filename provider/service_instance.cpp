// The one XORVO_VMpkgInstallationService instance of the host, built on every call from
// constants and the node name; the request's path and property list are not consulted.
#include <cstring>
#include <sys/utsname.h>

#include "export.h"
#include "zelk_pkg_installer_broker.h"

namespace {

constexpr int kNodeNameSize = 64;
constexpr const char *kSystemCreationClassName = "CIM_ComputerSystem";
constexpr const char *kCreationClassName = "QEL_PackageInstallationBroker";
constexpr const char *kInstanceName = "QEL:PackageInstallationBroker";
constexpr const char *kPathName = "QEL:QEL_PackageInstallationBroker";

struct NamedText {
    const char *name;
    const char *value;
};

// The four identifying values, in the order they are set; only Name differs between the
// instance and its enumerated object path.
void identity(const char *systemName, const char *name, NamedText (&out)[4]) {
    out[0] = {"SystemCreationClassName", kSystemCreationClassName};
    out[1] = {"SystemName", systemName};
    out[2] = {"CreationClassName", kCreationClassName};
    out[3] = {"Name", name};
}

CMPIObjectPath *new_service_path() {
    const CMPIBroker *broker = QEL_VMWarePackageInstallationBroker;
    if (broker == nullptr) {
        return nullptr;
    }
    return CMNewObjectPath(broker, _ZELKNameSpace, _ZELKClassName, nullptr);
}

// GetInstance and EnumInstances give the same single instance.
void return_service_instance(const CMPIResult *result) {
    CMPIObjectPath *path = new_service_path();
    CMPIInstance *instance =
        path ? CMNewInstance(QEL_VMWarePackageInstallationBroker, path, nullptr) : nullptr;
    char systemName[kNodeNameSize];
    get_sys_name(systemName, kNodeNameSize);
    if (instance != nullptr) {
        NamedText values[4];
        identity(systemName, kInstanceName, values);
        for (const NamedText &value : values) {
            CMSetProperty(instance, value.name, value.value, CMPI_chars);
        }
        CMReturnInstance(result, instance);
    }
    CMReturnDone(result);
}

} // namespace

char *get_sys_name(char *dst, int size) {
    if (dst == nullptr || size <= 0) {
        return dst;
    }
    std::memset(dst, 0, static_cast<size_t>(size));
    struct utsname host {};
    if (uname(&host) == 0) {
        std::strncpy(dst, host.nodename, static_cast<size_t>(size));
    }
    dst[size - 1] = '\0'; // a name that fills the buffer is cut by one character
    return dst;
}

ZELK_EXPORT CMPIStatus QEL_VMWarePackageInstallationProviderGetInstance(CMPIInstanceMI *,
                                                                        const CMPIContext *,
                                                                        const CMPIResult *result,
                                                                        const CMPIObjectPath *,
                                                                        const char **) {
    trace("Enter QEL_VMWarePackageInstallationProviderGetInstance.\n");
    return_service_instance(result);
    return CMPIStatus{CMPI_RC_OK, nullptr};
}

ZELK_EXPORT CMPIStatus QEL_VMWarePackageInstallationProviderEnumInstances(CMPIInstanceMI *,
                                                                          const CMPIContext *,
                                                                          const CMPIResult *result,
                                                                          const CMPIObjectPath *,
                                                                          const char **) {
    trace("Enter QEL_VMWarePackageInstallationProviderEnumInstances.\n");
    return_service_instance(result);
    trace("Complete QEL_VMWarePackageInstallationProviderEnumInstances.\n");
    return CMPIStatus{CMPI_RC_OK, nullptr};
}

ZELK_EXPORT CMPIStatus QEL_VMWarePackageInstallationProviderEnumInstanceNames(
    CMPIInstanceMI *, const CMPIContext *, const CMPIResult *result, const CMPIObjectPath *) {
    trace("Enter QEL_VMWarePackageInstallationProviderEnumInstanceNames.\n");
    CMPIObjectPath *path = new_service_path();
    char systemName[kNodeNameSize];
    get_sys_name(systemName, kNodeNameSize);
    if (path != nullptr) {
        NamedText keys[4];
        identity(systemName, kPathName, keys);
        for (const NamedText &key : keys) {
            CMAddKey(path, key.name, key.value, CMPI_chars);
        }
        CMReturnObjectPath(result, path);
    }
    CMReturnDone(result);
    trace("Complete QEL_VMWarePackageInstallationProviderEnumInstances.\n");
    return CMPIStatus{CMPI_RC_OK, nullptr};
}
