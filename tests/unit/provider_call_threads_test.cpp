// Calls into providers run on threads of their own: what a provider hands back reaches its
// caller, a provider that throws or whose thread ends inside it costs the caller one failed
// call in sfcb's words and nothing else, and one that does not answer is waited for as sfcb
// waits, or abandoned when a call timeout is set.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <pthread.h>
#include <stdexcept>
#include <string>
#include <thread>
#include <unistd.h>

#include <cmpi/cmpimacs.h>

#include "hostsim_broker.h"

namespace {

constexpr const char *kNameSpace = "test/guard";
constexpr const char *kClass = "Guarded_Service";

// A method provider whose behaviour each test picks by method name.
class Guarded {
  public:
    Guarded() {
        mmi_ = {this, &kMethodFT};
        provider_->name = "Guarded";
        provider_->methodMI = &mmi_;
        hostsim::register_provider(kNameSpace, kClass, provider_);
    }
    ~Guarded() {
        open();
        hostsim::clear_registrations();
        hostsim::set_call_timeout(std::chrono::milliseconds(0));
    }
    Guarded(const Guarded &) = delete;
    Guarded &operator=(const Guarded &) = delete;

    // Lets a waiting call go on.
    void open() {
        if (!opened_) {
            opened_ = true;
            release_.set_value();
        }
    }

    std::promise<void> waiting;   // set once a call waits
    std::promise<void> wroteLate; // set once a released call wrote its output

  private:
    static CMPIStatus invoke(CMPIMethodMI *mi, const CMPIContext *, const CMPIResult *rslt,
                             const CMPIObjectPath *, const char *method, const CMPIArgs *in,
                             CMPIArgs *out) {
        Guarded *self = static_cast<Guarded *>(const_cast<void *>(mi->hdl));
        const std::string name = method;
        CMAddArg(out, "Seen", CMGetCharsPtr(CMGetArg(in, "Text", nullptr).value.string, nullptr),
                 CMPI_chars);
        if (name == "Throw") {
            throw std::runtime_error("boom");
        }
        if (name == "Quit") {
            pthread_exit(nullptr);
        }
        if (name == "Wait") {
            self->waiting.set_value();
            self->gate_.wait();
            CMAddArg(out, "Late", "yes", CMPI_chars);
            self->wroteLate.set_value();
        }
        CMPIUint32 value = 7;
        CMReturnData(rslt, &value, CMPI_uint32);
        CMReturnDone(rslt);
        return {CMPI_RC_OK, nullptr};
    }
    static CMPIStatus cleanup(CMPIMethodMI *, const CMPIContext *, CMPIBoolean) {
        return {CMPI_RC_OK, nullptr};
    }
    static inline CMPIMethodMIFT kMethodFT = {CMPICurrentVersion, CMPICurrentVersion, "Guarded",
                                              cleanup, invoke};

    std::promise<void> release_;
    std::shared_future<void> gate_ = release_.get_future().share();
    bool opened_ = false;
    CMPIMethodMI mmi_{};
    std::shared_ptr<hostsim::Provider> provider_ = std::make_shared<hostsim::Provider>();
};

struct Answer {
    CMPIrc rc = CMPI_RC_OK;
    std::string message;
    CMPIData returned{};
    std::string seen; // the out argument "Seen", empty when absent
};

Answer call(const char *method) {
    hostsim::CallScope scope;
    const CMPIBroker *broker = hostsim::broker();
    CMPIObjectPath *path = CMNewObjectPath(broker, kNameSpace, kClass, nullptr);
    CMPIArgs *in = CMNewArgs(broker, nullptr);
    CMPIArgs *out = CMNewArgs(broker, nullptr);
    CMAddArg(in, "Text", "hello", CMPI_chars);
    CMPIContext *context = hostsim::new_context();
    CMPIStatus status{CMPI_RC_OK, nullptr};
    Answer answer;
    answer.returned = CBInvokeMethod(broker, context, path, method, in, out, &status);
    answer.rc = status.rc;
    answer.message = status.msg ? CMGetCharsPtr(status.msg, nullptr) : "";
    CMPIData seen = CMGetArg(out, "Seen", nullptr);
    answer.seen = seen.type == CMPI_string ? CMGetCharsPtr(seen.value.string, nullptr) : "";
    CMRelease(context);
    return answer;
}

TEST(ProviderCallThreads, AnswerAndOutputReachTheCaller) {
    Guarded provider;
    Answer answer = call("Echo");
    EXPECT_EQ(CMPI_RC_OK, answer.rc) << answer.message;
    EXPECT_EQ(CMPI_uint32, answer.returned.type);
    EXPECT_EQ(7u, answer.returned.value.uint32);
    EXPECT_EQ("hello", answer.seen);
}

// A provider that throws, or whose thread ends in the call, fails that call only, as sfcb
// answers for a provider process that died: what it wrote before is not handed on, and the next
// call reaches it again.
TEST(ProviderCallThreads, ProviderThatDiesFailsOneCall) {
    Guarded provider;
    const std::string died =
        "*** Provider Guarded(" + std::to_string(getpid()) + ") exiting due to a SIGSEGV signal\n";
    for (const char *method : {"Throw", "Quit"}) {
        Answer answer = call(method);
        EXPECT_EQ(CMPI_RC_ERR_FAILED, answer.rc) << method;
        EXPECT_EQ(died, answer.message) << method;
        EXPECT_EQ("", answer.seen) << method;
    }

    Answer next = call("Echo");
    EXPECT_EQ(CMPI_RC_OK, next.rc) << next.message;
    EXPECT_EQ("hello", next.seen);
}

// Without a call timeout, a call that does not answer is waited for until it does.
TEST(ProviderCallThreads, CallThatDoesNotAnswerIsWaitedFor) {
    unsetenv(hostsim::kCallTimeoutVariable);
    Guarded provider;
    EXPECT_EQ(0, hostsim::call_timeout().count());
    std::future<Answer> answer = std::async(std::launch::async, [] { return call("Wait"); });
    provider.waiting.get_future().wait();
    EXPECT_EQ(std::future_status::timeout, answer.wait_for(std::chrono::milliseconds(300)));
    EXPECT_EQ(0u, hostsim::abandoned_calls());
    provider.open();
    Answer late = answer.get();
    EXPECT_EQ(CMPI_RC_OK, late.rc) << late.message;
    EXPECT_EQ(7u, late.returned.value.uint32);
}

// With a call timeout, a call that does not answer in time is abandoned; when it goes on later it
// writes only its own copies, and it counts as abandoned until it has left the provider.
TEST(ProviderCallThreads, CallThatDoesNotAnswerIsAbandoned) {
    Guarded provider;
    hostsim::set_call_timeout(std::chrono::milliseconds(200));
    Answer answer = call("Wait");
    provider.waiting.get_future().wait();
    EXPECT_EQ(CMPI_RC_ERR_FAILED, answer.rc);
    EXPECT_EQ("provider Guarded did not answer Wait within 0.2 s; the call was abandoned",
              answer.message);
    EXPECT_EQ(1u, hostsim::abandoned_calls());

    provider.open();
    provider.wroteLate.get_future().wait();
    while (hostsim::abandoned_calls() != 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    Answer next = call("Echo");
    EXPECT_EQ(CMPI_RC_OK, next.rc) << next.message;
}

} // namespace
