#include "install_order.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "pkg_table.h"
#include "trace_log.h"

namespace {

constexpr const char *kNoSupersedes = "No supersedes";

int run_size() {
    if (pkgnum < 0) {
        return 0;
    }
    if (pkgnum > zelk::kMaxPackages) {
        tracef("OrderPkgInstallation: pkgnum %d exceeds the run table; ordering %d packages.\n",
               pkgnum, zelk::kMaxPackages);
        return zelk::kMaxPackages;
    }
    return pkgnum;
}

int prereq_count(const PkgInstance &record) {
    if (record.preReqCount < 0) {
        return 0;
    }
    return record.preReqCount < zelk::kMaxPreReqs ? record.preReqCount : zelk::kMaxPreReqs;
}

int32_t just_below(int32_t flag) {
    return flag > INT32_MIN ? flag - 1 : flag;
}

// A superseded package must be present as well: its name joins the requiring package's list,
// as long as the list has a free slot.
void append_superseded(PkgInstance &requirer, const PkgInstance &prereq) {
    trace("There is supersedes info for the prereq Package.\n");
    int count = prereq_count(requirer);
    if (count >= zelk::kMaxPreReqs) {
        tracef("OrderPkgInstallation: preReq list of %s is full; superseded package %s not "
               "added.\n",
               requirer.identificationCode, prereq.supersedes);
        return;
    }
    copy_text(requirer.preReq[count], prereq.supersedes);
    requirer.preReqCount = count + 1;
}

// Failed (1000) and unsupported (1001) packages are not installed. They keep that disposition
// when another package names them, and the packages they name are ordered as if they did not.
bool not_installed(const PkgInstance &record) {
    return record.OrderFlag == order_flag::kFailed || record.OrderFlag == order_flag::kUnsupported;
}

// Lowers every prerequisite just below the package that needs it. A package gets 999 when a
// prerequisite is missing and none has been found so far in this call. Only packages flagged
// below 1000 name prerequisites here, so no lowering reaches the dispositions 999 to 1002.
void lower_prerequisites(int count) {
    bool found = false; // set once, never cleared during the call
    for (int i = 0; i < count; ++i) {
        PkgInstance &requirer = pkgInstance[i];
        if (requirer.OrderFlag >= order_flag::kFailed && prereq_count(requirer) > 0) {
            tracef("%s has Order Flag %d; its prerequisites are not ordered.\n",
                   requirer.identificationCode, requirer.OrderFlag);
            continue;
        }
        for (int j = 0; j < prereq_count(requirer); ++j) {
            tracef("%s require to install Prereq Package %s\n", requirer.identificationCode,
                   requirer.preReq[j]);
            for (int k = 0; k < count; ++k) {
                PkgInstance &prereq = pkgInstance[k];
                if (std::strcmp(requirer.preReq[j], prereq.identificationCode) != 0) {
                    continue;
                }
                if (not_installed(prereq)) {
                    tracef("Prereq Package %s is not installed; it keeps Order Flag %d.\n",
                           prereq.identificationCode, prereq.OrderFlag);
                } else {
                    prereq.OrderFlag = just_below(requirer.OrderFlag);
                }
                trace("Prereq Package is found in xml list.\n");
                found = true;
                if (std::strcmp(prereq.supersedes, kNoSupersedes) != 0) {
                    append_superseded(requirer, prereq);
                }
            }
            if (!found) {
                trace("Prereq is not found in xml list.\n");
                requirer.OrderFlag = order_flag::kMissingPrereq;
            }
        }
    }
    for (int i = 0; i < count; ++i) {
        tracef("%s: Order Flag is %d\n", pkgInstance[i].identificationCode,
               pkgInstance[i].OrderFlag);
    }
}

// Each step of the selection goes into one trace line: "ee%d:" per examined mark, then "mm%d:"
// with the first candidate and "xx%d:" with the chosen one.
class StepLine {
  public:
    void add(const char *tag, int value) {
        int n = std::snprintf(text_ + used_, kRoom - used_, "%s%d:", tag, value);
        used_ += n > 0 ? static_cast<size_t>(n) : 0;
        if (used_ >= kRoom) {
            used_ = kRoom - 1;
        }
    }
    void write() {
        text_[used_] = '\n';
        text_[used_ + 1] = '\0';
        trace(text_);
    }

  private:
    static constexpr size_t kRoom = 254; // leaves room for the line end and terminator
    char text_[kRoom + 2] = {};
    size_t used_ = 0;
};

// Selection by ascending OrderFlag; among equal flags the highest index is chosen first.
void select_sequence(int count) {
    bool marked[zelk::kMaxPackages] = {};
    for (int n = 0; n < count; ++n) {
        StepLine step;
        int candidate = 0;
        for (; candidate < count; ++candidate) {
            step.add("ee", marked[candidate] ? 1 : 0);
            if (!marked[candidate]) {
                break;
            }
        }
        step.add("mm", candidate);
        for (int c = 0; c < count; ++c) {
            if (!marked[c] && pkgInstance[c].OrderFlag <= pkgInstance[candidate].OrderFlag) {
                candidate = c;
            }
        }
        PkgSeq[n] = candidate;
        step.add("xx", candidate);
        step.write();
        marked[candidate] = true;
    }
}

} // namespace

void OrderPkgInstallation() {
    int count = run_size();
    lower_prerequisites(count);
    select_sequence(count);
    trace("Pakage installation sequence:\n");
    for (int n = 0; n < count; ++n) {
        tracef("--%d:%s\n", PkgSeq[n], pkgInstance[PkgSeq[n]].Name);
    }
}
