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

bool visit_instances(const CMPIContext *ctx, const CMPIObjectPath *path,
                     const std::function<void(const CMPIInstance *)> &visit) {
    CMPIStatus rc{CMPI_RC_OK, nullptr};
    CMPIEnumeration *instances =
        CBEnumInstances(QEL_VMWarePackageInstallationBroker, ctx, path, nullptr, &rc);
    if (rc.rc != CMPI_RC_OK || !is_usable(instances)) {
        return false;
    }
    while (CMHasNext(instances, nullptr)) {
        CMPIData item = CMGetNext(instances, nullptr);
        if (item.type != CMPI_instance || !is_usable(item.value.inst)) {
            break; // a slot without an instance ends the walk
        }
        visit(item.value.inst);
    }
    CMRelease(instances);
    return true;
}

bool for_each_instance(const CMPIContext *ctx, const char *nameSpace, const char *className,
                       const std::function<void(const CMPIInstance *)> &visit) {
    CMPIObjectPath *path = new_path(nameSpace, className);
    if (!is_usable(path)) {
        return false;
    }
    const bool enumerated = visit_instances(ctx, path, visit);
    CMRelease(path);
    return enumerated;
}

const char *string_property(const CMPIInstance *instance, const char *name) {
    return string_value(CMGetProperty(instance, name, nullptr));
}

std::optional<std::string> string_key(const CMPIInstance *instance, const char *name) {
    CMPIObjectPath *path = CMGetObjectPath(instance, nullptr);
    if (!is_usable(path)) {
        return std::nullopt;
    }
    const char *text = string_value(CMGetKey(path, name, nullptr));
    std::optional<std::string> key;
    if (text != nullptr) {
        key = text;
    }
    CMRelease(path);
    return key;
}

bool last_instance_string(const CMPIContext *ctx, const char *nameSpace, const char *className,
                          const char *property, std::string &value) {
    bool found = false;
    bool enumerated =
        for_each_instance(ctx, nameSpace, className, [&](const CMPIInstance *instance) {
            const char *text = string_property(instance, property);
            found = text != nullptr;
            value = found ? text : "";
        });
    return enumerated && found;
}
