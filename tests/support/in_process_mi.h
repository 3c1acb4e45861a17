// The MI tables of an in-process test provider that only enumerates instances and invokes
// methods. `Derived` supplies static `enumerate` and `invoke` and its MI name `kMiName`; both
// MIs carry a pointer to the Derived object as their handle.
#pragma once

#include <memory>

#include <cmpi/cmpimacs.h>

#include "hostsim_broker.h"

template <typename Derived> class InProcessMI {
  protected:
    InProcessMI() {
        imi_ = {static_cast<Derived *>(this), &kInstanceFT};
        mmi_ = {static_cast<Derived *>(this), &kMethodFT};
        provider_->name = Derived::kMiName;
        provider_->instanceMI = &imi_;
        provider_->methodMI = &mmi_;
    }
    InProcessMI(const InProcessMI &) = delete;
    InProcessMI &operator=(const InProcessMI &) = delete;

    static Derived *self(const void *hdl) {
        return static_cast<Derived *>(const_cast<void *>(hdl));
    }
    static CMPIStatus ok() { return {CMPI_RC_OK, nullptr}; }

    std::shared_ptr<hostsim::Provider> provider_ = std::make_shared<hostsim::Provider>();

  private:
    static CMPIStatus cleanup(CMPIInstanceMI *, const CMPIContext *, CMPIBoolean) { return ok(); }
    static CMPIStatus method_cleanup(CMPIMethodMI *, const CMPIContext *, CMPIBoolean) {
        return ok();
    }

    static inline CMPIInstanceMIFT kInstanceFT = {CMPICurrentVersion,
                                                  CMPICurrentVersion,
                                                  Derived::kMiName,
                                                  cleanup,
                                                  nullptr,
                                                  Derived::enumerate,
                                                  nullptr,
                                                  nullptr,
                                                  nullptr,
                                                  nullptr,
                                                  nullptr};
    static inline CMPIMethodMIFT kMethodFT = {CMPICurrentVersion, CMPICurrentVersion,
                                              Derived::kMiName, method_cleanup, Derived::invoke};

    CMPIInstanceMI imi_{};
    CMPIMethodMI mmi_{};
};
