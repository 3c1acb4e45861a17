#include "broker_helpers.h"

#include "zelk_pkg_installer_broker.h"

std::string status_message_text(const CMPIStatus &status) {
    if (!is_usable(status.msg)) {
        return "";
    }
    const char *text = CMGetCharPtr(status.msg);
    return text ? text : "";
}

const char *string_value(const CMPIData &data) {
    if (data.type != CMPI_string || (data.state & CMPI_nullValue) || (data.state & CMPI_notFound) ||
        !is_usable(data.value.string)) {
        return nullptr;
    }
    return CMGetCharPtr(data.value.string);
}

CMPIObjectPath *new_path(const char *nameSpace, const char *className) {
    const CMPIBroker *broker = QEL_VMWarePackageInstallationBroker;
    return broker ? CMNewObjectPath(broker, nameSpace, className, nullptr) : nullptr;
}

void add_chars_keys(CMPIObjectPath *path, std::initializer_list<KeyText> keys) {
    for (const KeyText &key : keys) {
        CMAddKey(path, key.name, key.value, CMPI_chars);
    }
}

bool last_instance_string(const CMPIContext *ctx, const char *nameSpace, const char *className,
                          const char *property, std::string &value) {
    CMPIObjectPath *path = new_path(nameSpace, className);
    if (!is_usable(path)) {
        return false;
    }
    CMPIStatus rc{CMPI_RC_OK, nullptr};
    CMPIEnumeration *instances =
        CBEnumInstances(QEL_VMWarePackageInstallationBroker, ctx, path, nullptr, &rc);
    bool found = false;
    if (rc.rc == CMPI_RC_OK && is_usable(instances)) {
        while (CMHasNext(instances, nullptr)) {
            CMPIData item = CMGetNext(instances, nullptr);
            if (item.type != CMPI_instance || !is_usable(item.value.inst)) {
                break; // a slot without an instance ends the walk
            }
            const char *text = string_value(CMGetProperty(item.value.inst, property, nullptr));
            found = text != nullptr;
            value = found ? text : "";
        }
        CMRelease(instances);
    }
    CMRelease(path);
    return found;
}
