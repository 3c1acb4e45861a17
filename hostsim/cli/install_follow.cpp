// The follow loop of `hostsim install`: job reads, change lines, progress bar, final table.
#include "install_follow.h"

#include <algorithm>
#include <chrono>
#include <iomanip>
#include <iostream>
#include <unistd.h>

#include <cmpi/cmpimacs.h>

#include "cim_session.h"
#include "cli_errors.h"
#include "install_status.h"

namespace hostsim::cli {

namespace {

constexpr int kNapsPerRead = 4; // about once a second
constexpr size_t kBarWidth = 30;

struct JobView {
    bool known = false;
    unsigned state = 0;
    std::string text;
};

unsigned unsigned_of(const CMPIData &data) {
    if (CMIsNullValue(data)) {
        return 0;
    }
    return data.type == CMPI_uint16   ? data.value.uint16
           : data.type == CMPI_uint32 ? data.value.uint32
                                      : 0;
}

std::string text_of(const CMPIData &data) {
    if (CMIsNullValue(data)) {
        return "";
    }
    if (data.type == CMPI_string && data.value.string != nullptr) {
        const char *chars = CMGetCharsPtr(data.value.string, nullptr);
        return chars ? chars : "";
    }
    return data.type == CMPI_chars && data.value.chars ? data.value.chars : "";
}

// False with `error` when the job cannot be read; `view` then keeps what it had.
bool read_job(const CMPIContext *context, const CMPIObjectPath *job, JobView *view,
              std::string *error) {
    CallScope scope; // frees each read's objects; a run may be followed for hours
    CMPIStatus status{CMPI_RC_OK, nullptr};
    CMPIInstance *instance = CBGetInstance(broker(), context, job, nullptr, &status);
    try {
        check_status(status, "install: reading the job");
    } catch (const CliError &refused) {
        *error = refused.what();
        return false;
    }
    if (instance == nullptr) {
        *error = "install: reading the job: no instance";
        return false;
    }
    view->known = true;
    view->state = unsigned_of(CMGetProperty(instance, "JobState", nullptr));
    view->text = text_of(CMGetProperty(instance, "JobStatus", nullptr));
    return true;
}

class Display {
  public:
    Display(const std::vector<std::string> &uris, bool terminal)
        : uris_(uris), terminal_(terminal) {}

    // One line per package whose status changed, then the bar.
    void show(const StatusText &now) {
        for (size_t i = 0; i < now.packages.size(); ++i) {
            const PackageStatus &status = now.packages[i];
            if (!status.reported) {
                continue;
            }
            if (i >= shown_.size()) {
                shown_.resize(i + 1);
            }
            const PackageStatus &before = shown_[i];
            if (before.reported && before.id == status.id && before.code == status.code &&
                before.message == status.message) {
                continue;
            }
            clear_bar();
            std::cout << status_line(status) << "\n";
            shown_[i] = status;
        }
        draw_bar();
    }

    void clear_bar() {
        if (barShown_) {
            std::cout << "\r\033[K";
            barShown_ = false;
        }
        std::cout << std::flush;
    }

    // The table of every package, the job's final state; the exit status.
    int finish(const std::string &jobId, const JobView &job) {
        clear_bar();
        size_t count = uris_.size();
        std::vector<PackageStatus> rows(count);
        size_t width = 7;
        for (size_t i = 0; i < count; ++i) {
            rows[i] = i < shown_.size() ? shown_[i] : PackageStatus{};
            if (!rows[i].reported) {
                rows[i].id = package_id(uris_[i]);
            }
            width = std::max(width, rows[i].id.size());
        }
        size_t installed = 0;
        std::cout << "\n"
                  << std::left << std::setw(static_cast<int>(width)) << "PACKAGE"
                  << "  CODE  MESSAGE\n";
        for (size_t i = 0; i < count; ++i) {
            const PackageStatus &row = rows[i];
            installed += row.reported && row.code == kInstalledCode;
            std::cout << std::setw(static_cast<int>(width)) << row.id << "  " << std::setw(4)
                      << (row.reported ? std::to_string(row.code) : "-") << "  "
                      << (row.reported ? message_line(row.message) : "(no status reported)")
                      << "\n";
        }
        std::cout << "Job " << jobId << ": JobState "
                  << (job.known ? std::to_string(job.state) + " (" + job_state_name(job.state) + ")"
                                : std::string("unknown"))
                  << "\n"
                  << installed << " of " << uris_.size() << " packages installed.\n"
                  << std::flush;
        return installed == uris_.size() ? kExitOk : kExitCimError;
    }

  private:
    void draw_bar() {
        if (!terminal_) {
            std::cout << std::flush;
            return;
        }
        size_t finished = 0;
        for (size_t i = 0; i < shown_.size() && i < uris_.size(); ++i) {
            finished += shown_[i].reported && is_final_code(shown_[i].code);
        }
        size_t filled = uris_.empty() ? 0 : finished * kBarWidth / uris_.size();
        std::cout << "\r\033[K[" << std::string(filled, '#') << std::string(kBarWidth - filled, '.')
                  << "] " << finished << "/" << uris_.size() << " packages finished" << std::flush;
        barShown_ = true;
    }

    std::vector<std::string> uris_;
    bool terminal_;
    std::vector<PackageStatus> shown_;
    bool barShown_ = false;
};

// The job's text, or where the job's one line ends at a message's line feed, the whole text
// that the run recorded on this host, so that the packages after the cut are shown too.
std::string shown_text(const std::string &jobId, const std::string &jobText) {
    if (!cut_at_line_end(jobText)) {
        return jobText;
    }
    std::string recorded = recorded_status_text(jobId);
    return recorded.compare(0, jobText.size(), jobText) == 0 ? recorded : jobText;
}

std::string instance_id_of(const CMPIObjectPath *job) {
    CMPIData key = CMGetKey(job, "InstanceID", nullptr);
    return text_of(key);
}

} // namespace

int follow_run(const CMPIContext *context, const CMPIObjectPath *job,
               const std::vector<std::string> &uris, RunThreads &threads, InterruptGuard &interrupt,
               double timeoutSeconds) {
    const std::string jobId = instance_id_of(job);
    Display display(uris, isatty(STDOUT_FILENO) == 1);
    JobView view;
    std::string lastError;
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(timeoutSeconds));
    interrupt.listen();
    for (int naps = 0;; ++naps) {
        // Looked at before the read, so that the read after the end sees the final text.
        bool running = threads.running();
        const bool givenUp =
            running && timeoutSeconds > 0 && std::chrono::steady_clock::now() >= deadline;
        if (interrupt.interrupted()) {
            display.clear_bar();
            std::cerr << "hostsim: stopped following job " << jobId
                      << ". The run goes on in this process and hostsim exits when it has ended; "
                         "press Ctrl-C again to abort the run.\n";
            while (threads.running()) {
                nap();
            }
            return kExitInterrupted;
        }
        if (!running || givenUp || naps % kNapsPerRead == 0) {
            std::string error;
            if (read_job(context, job, &view, &error)) {
                display.show(parse_status_text(shown_text(jobId, view.text)));
            } else if (error != lastError) {
                display.clear_bar();
                std::cerr << "hostsim: " << error << "\n";
            }
            lastError = error;
        }
        if (givenUp) {
            display.clear_bar();
            std::cerr << "hostsim: stopped following job " << jobId << " after " << timeoutSeconds
                      << " s: the run has not ended (a provider call may never "
                      << "return).\n";
            display.finish(jobId, view);
            return kExitStillRunning;
        }
        if (!running) {
            return display.finish(jobId, view);
        }
        nap();
    }
}

} // namespace hostsim::cli
