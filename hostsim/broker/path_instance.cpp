// Object paths and instances: their function tables and factories.
#include <algorithm>
#include <strings.h>

#include "hostsim_broker.h"
#include "object_model.h"

namespace hostsim::detail {

namespace {

void copy_path_fields(ObjectPathImpl &dst, const ObjectPathImpl &src) {
    dst.nameSpace = src.nameSpace;
    dst.hostName = src.hostName;
    dst.className = src.className;
    dst.keys = src.keys;
}

CMPIString *new_text(const std::string &text, CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_OK);
    return &make_string(text)->enc;
}

CMPIData no_qualifier(CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_ERR_NOT_SUPPORTED);
    return null_data(CMPI_notFound);
}

// ---- CMPIObjectPath ----
ObjectPathImpl *path(const CMPIObjectPath *op) {
    return impl_of<ObjectPathImpl>(op);
}

CMPIStatus path_release(CMPIObjectPath *op) {
    destroy(path(op));
    return status_ok();
}
CMPIObjectPath *path_clone(const CMPIObjectPath *op, CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_OK);
    return &clone_path(*path(op))->enc;
}
CMPIStatus path_set_ns(CMPIObjectPath *op, const char *ns) {
    path(op)->nameSpace = ns ? ns : "";
    return status_ok();
}
CMPIString *path_get_ns(const CMPIObjectPath *op, CMPIStatus *rc) {
    return new_text(path(op)->nameSpace, rc);
}
CMPIStatus path_set_host(CMPIObjectPath *op, const char *host) {
    path(op)->hostName = host ? host : "";
    return status_ok();
}
CMPIString *path_get_host(const CMPIObjectPath *op, CMPIStatus *rc) {
    return new_text(path(op)->hostName, rc);
}
CMPIStatus path_set_class(CMPIObjectPath *op, const char *cn) {
    path(op)->className = cn ? cn : "";
    return status_ok();
}
CMPIString *path_get_class(const CMPIObjectPath *op, CMPIStatus *rc) {
    return new_text(path(op)->className, rc);
}
CMPIStatus path_add_key(CMPIObjectPath *op, const char *name, const CMPIValue *value,
                        CMPIType type) {
    if (name == nullptr) {
        return status_of(CMPI_RC_ERR_INVALID_PARAMETER);
    }
    path(op)->keys.set(name, Value::from(value, type));
    return status_ok();
}
CMPIData path_get_key(const CMPIObjectPath *op, const char *name, CMPIStatus *rc) {
    CMPIData d = data_named(path(op)->keys, name, rc);
    if (d.state == CMPI_goodValue) {
        d.state = CMPI_keyValue;
    }
    return d;
}
CMPIData path_get_key_at(const CMPIObjectPath *op, CMPICount index, CMPIString **name,
                         CMPIStatus *rc) {
    CMPIData d = data_at(path(op)->keys, index, name, rc);
    if (d.state == CMPI_goodValue) {
        d.state = CMPI_keyValue;
    }
    return d;
}
CMPICount path_key_count(const CMPIObjectPath *op, CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_OK);
    return static_cast<CMPICount>(path(op)->keys.size());
}
CMPIStatus path_ns_from(CMPIObjectPath *op, const CMPIObjectPath *src) {
    path(op)->nameSpace = path(src)->nameSpace;
    return status_ok();
}
CMPIStatus path_host_ns_from(CMPIObjectPath *op, const CMPIObjectPath *src) {
    path(op)->nameSpace = path(src)->nameSpace;
    path(op)->hostName = path(src)->hostName;
    return status_ok();
}
CMPIData path_class_qualifier(const CMPIObjectPath *, const char *, CMPIStatus *rc) {
    return no_qualifier(rc);
}
CMPIData path_property_qualifier(const CMPIObjectPath *, const char *, const char *,
                                 CMPIStatus *rc) {
    return no_qualifier(rc);
}
CMPIData path_method_qualifier(const CMPIObjectPath *, const char *, const char *, CMPIStatus *rc) {
    return no_qualifier(rc);
}
CMPIData path_parameter_qualifier(const CMPIObjectPath *, const char *, const char *, const char *,
                                  CMPIStatus *rc) {
    return no_qualifier(rc);
}
CMPIString *path_to_string(const CMPIObjectPath *op, CMPIStatus *rc) {
    return new_text(hostsim::path_to_text(op), rc);
}

CMPIObjectPathFT pathFT = {
    CMPICurrentVersion,
    path_release,
    path_clone,
    path_set_ns,
    path_get_ns,
    path_set_host,
    path_get_host,
    path_set_class,
    path_get_class,
    path_add_key,
    path_get_key,
    path_get_key_at,
    path_key_count,
    path_ns_from,
    path_host_ns_from,
    path_class_qualifier,
    path_property_qualifier,
    path_method_qualifier,
    path_parameter_qualifier,
    path_to_string,
};

// ---- CMPIInstance ----
InstanceImpl *instance(const CMPIInstance *ci) {
    return impl_of<InstanceImpl>(ci);
}

CMPIStatus instance_release(CMPIInstance *ci) {
    destroy(instance(ci));
    return status_ok();
}
CMPIInstance *instance_clone(const CMPIInstance *ci, CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_OK);
    return &clone_instance(*instance(ci))->enc;
}
CMPIData instance_get(const CMPIInstance *ci, const char *name, CMPIStatus *rc) {
    return data_named(instance(ci)->properties, name, rc);
}
CMPIData instance_get_at(const CMPIInstance *ci, CMPICount index, CMPIString **name,
                         CMPIStatus *rc) {
    return data_at(instance(ci)->properties, index, name, rc);
}
CMPICount instance_count(const CMPIInstance *ci, CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_OK);
    return static_cast<CMPICount>(instance(ci)->properties.size());
}
bool passes_filter(const InstanceImpl &inst, const char *name) {
    if (!inst.filtered) {
        return true;
    }
    return std::any_of(inst.filter.begin(), inst.filter.end(), [name](const std::string &kept) {
        return strcasecmp(kept.c_str(), name) == 0;
    });
}
CMPIStatus instance_set(const CMPIInstance *ci, const char *name, const CMPIValue *value,
                        CMPIType type) {
    if (ci == nullptr || name == nullptr) {
        return status_of(CMPI_RC_ERR_INVALID_PARAMETER);
    }
    InstanceImpl *inst = instance(ci);
    if (passes_filter(*inst, name)) {
        inst->properties.set(name, Value::from(value, type));
    }
    return status_ok();
}
CMPIObjectPath *instance_path(const CMPIInstance *ci, CMPIStatus *rc) {
    set_rc(rc, CMPI_RC_OK);
    return &tracked(clone_path(instance(ci)->path))->enc;
}
CMPIStatus instance_set_filter(CMPIInstance *ci, const char **properties, const char **) {
    InstanceImpl *inst = instance(ci);
    inst->filter.clear();
    inst->filtered = properties != nullptr;
    for (const char **p = properties; p && *p; ++p) {
        inst->filter.emplace_back(*p);
    }
    return status_ok();
}
CMPIStatus instance_set_path(CMPIInstance *ci, const CMPIObjectPath *op) {
    if (op == nullptr) {
        return status_of(CMPI_RC_ERR_INVALID_PARAMETER);
    }
    copy_path_fields(instance(ci)->path, *path(op));
    return status_ok();
}
CMPIStatus instance_set_with_origin(const CMPIInstance *ci, const char *name,
                                    const CMPIValue *value, CMPIType type, const char *) {
    return instance_set(ci, name, value, type);
}

CMPIInstanceFT instanceFT = {
    CMPICurrentVersion,
    instance_release,
    instance_clone,
    instance_get,
    instance_get_at,
    instance_count,
    instance_set,
    instance_path,
    instance_set_filter,
    instance_set_path,
    instance_set_with_origin,
};

} // namespace

ObjectPathImpl::ObjectPathImpl() {
    cell.owner = this;
    enc.hdl = this;
    enc.ft = &pathFT;
}

InstanceImpl::InstanceImpl() {
    cell.owner = this;
    enc.hdl = this;
    enc.ft = &instanceFT;
}

ObjectPathImpl *make_path(const char *nameSpace, const char *className, bool track) {
    ObjectPathImpl *op = new ObjectPathImpl;
    op->nameSpace = nameSpace ? nameSpace : "";
    op->className = className ? className : "";
    return maybe_track(op, track);
}

ObjectPathImpl *clone_path(const ObjectPathImpl &source) {
    ObjectPathImpl *copy = new ObjectPathImpl;
    copy_path_fields(*copy, source);
    return copy;
}

InstanceImpl *make_instance(const ObjectPathImpl *source, bool track) {
    InstanceImpl *inst = new InstanceImpl;
    if (source != nullptr) {
        copy_path_fields(inst->path, *source);
    }
    return maybe_track(inst, track);
}

InstanceImpl *clone_instance(const InstanceImpl &source) {
    InstanceImpl *copy = make_instance(&source.path, false);
    copy->properties = source.properties;
    copy->filter = source.filter;
    copy->filtered = source.filtered;
    return copy;
}

} // namespace hostsim::detail
