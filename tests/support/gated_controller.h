// An in-process management controller whose firmware update lasts until the test opens its
// gate: InstallFromURI answers 4096 and records Update_Operation; the CIM_ConcreteJob in
// qel/cimv2 reports "0x00|updating firmware" at every poll while the gate is shut and
// "0x00|Process Completed" once it is open.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include <cmpi/cmpimacs.h>

#include "hostsim_broker.h"
#include "in_process_mi.h"

namespace gatedcontroller {

constexpr const char *kNameSpace = "qel/cimv2";

class Controller : public InProcessMI<Controller> {
  public:
    static constexpr const char *kMiName = "GatedController";

    explicit Controller(bool open = false) : open_(open) {
        hostsim::register_provider(kNameSpace, "QEL_SoftwareInstallationService", provider_);
        hostsim::register_provider(kNameSpace, "CIM_ConcreteJob", provider_);
    }

    void open() {
        std::lock_guard<std::mutex> guard(lock_);
        open_ = true;
    }
    // True once the job has been polled `count` times since the last request.
    bool wait_for_polls(size_t count) {
        std::unique_lock<std::mutex> guard(lock_);
        return changed_.wait_for(guard, std::chrono::seconds(60), [&] { return polls_ >= count; });
    }
    size_t polls() {
        std::lock_guard<std::mutex> guard(lock_);
        return polls_;
    }
    // Update_Operation of each request; -1 when it was not a uint8.
    std::vector<int> operations() {
        std::lock_guard<std::mutex> guard(lock_);
        return operations_;
    }

  private:
    friend class InProcessMI<Controller>;

    static CMPIStatus enumerate(CMPIInstanceMI *mi, const CMPIContext *, const CMPIResult *rslt,
                                const CMPIObjectPath *, const char **) {
        Controller *controller = self(mi->hdl);
        const char *status = nullptr;
        {
            std::lock_guard<std::mutex> guard(controller->lock_);
            ++controller->polls_;
            status = controller->open_ ? "0x00|Process Completed" : "0x00|updating firmware";
        }
        controller->changed_.notify_all();
        const CMPIBroker *broker = hostsim::broker();
        CMPIObjectPath *path = CMNewObjectPath(broker, kNameSpace, "CIM_ConcreteJob", nullptr);
        CMAddKey(path, "InstanceID", "QEL:VXCUpdate:1", CMPI_chars);
        CMPIInstance *job = CMNewInstance(broker, path, nullptr);
        CMSetProperty(job, "JobStatus", status, CMPI_chars);
        CMReturnInstance(rslt, job);
        CMReturnDone(rslt);
        return ok();
    }

    static CMPIStatus invoke(CMPIMethodMI *mi, const CMPIContext *, const CMPIResult *rslt,
                             const CMPIObjectPath *, const char *, const CMPIArgs *in, CMPIArgs *) {
        Controller *controller = self(mi->hdl);
        CMPIData operation = CMGetArg(in, "Update_Operation", nullptr);
        {
            std::lock_guard<std::mutex> guard(controller->lock_);
            controller->operations_.push_back(operation.type == CMPI_uint8 ? operation.value.uint8
                                                                           : -1);
            controller->polls_ = 0;
        }
        CMPIUint32 accepted = 4096;
        CMReturnData(rslt, &accepted, CMPI_uint32);
        CMReturnDone(rslt);
        return ok();
    }

    std::mutex lock_;
    std::condition_variable changed_;
    bool open_;
    size_t polls_ = 0;
    std::vector<int> operations_;
};

} // namespace gatedcontroller
