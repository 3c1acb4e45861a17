// Broker calls routed to registered providers.
#pragma once

#include <cmpi/cmpift.h>

namespace hostsim::detail {

CMPIData route_invoke_method(const CMPIContext *ctx, const CMPIObjectPath *op, const char *method,
                             const CMPIArgs *in, CMPIArgs *out, CMPIStatus *rc);
CMPIEnumeration *route_enumerate(const CMPIContext *ctx, const CMPIObjectPath *op,
                                 const char **properties, bool namesOnly, CMPIStatus *rc);
CMPIInstance *route_get_instance(const CMPIContext *ctx, const CMPIObjectPath *op,
                                 const char **properties, CMPIStatus *rc);
CMPIStatus route_delete_instance(const CMPIContext *ctx, const CMPIObjectPath *op);

} // namespace hostsim::detail
