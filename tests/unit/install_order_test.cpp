#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "install_order.h"
#include "metadata_test_util.h"

using namespace metadata_test;

namespace {

struct Pkg {
    const char *code;
    int32_t flag;
    std::vector<const char *> prereqs = {};
    const char *supersedes = "No supersedes";
};

void load_run(const std::vector<Pkg> &pkgs) {
    reset_run();
    pkgnum = static_cast<int32_t>(pkgs.size());
    for (size_t i = 0; i < pkgs.size(); ++i) {
        PkgInstance &r = pkgInstance[i];
        copy_text(r.identificationCode, pkgs[i].code);
        copy_text(r.Name, ("name" + std::to_string(i)).c_str());
        copy_text(r.supersedes, pkgs[i].supersedes);
        r.OrderFlag = pkgs[i].flag;
        for (const char *p : pkgs[i].prereqs) {
            copy_text(r.preReq[r.preReqCount++], p);
        }
    }
}

std::vector<int32_t> flags() {
    std::vector<int32_t> out;
    for (int i = 0; i < pkgnum; ++i) {
        out.push_back(pkgInstance[i].OrderFlag);
    }
    return out;
}

TEST(InstallOrder, LowersPrerequisitesAndSortsByFlag) {
    struct Case {
        const char *what;
        std::vector<Pkg> pkgs;
        std::vector<int32_t> flags, seq;
    } cases[] = {
        {"ties: highest index first",
         {{"a", 300}, {"b", 300}, {"c", 300}},
         {300, 300, 300},
         {2, 1, 0}},
        {"by flag", {{"a", 300}, {"b", 250}, {"c", 350}}, {300, 250, 350}, {1, 0, 2}},
        {"prerequisite lowered", {{"a", 350, {"b"}}, {"b", 250}}, {350, 349}, {1, 0}},
        {"supersedes chain",
         {{"a", 400, {"b"}}, {"b", 250, {}, "c"}, {"c", 300, {}, "d"}, {"d", 350}},
         {400, 399, 399, 399},
         {3, 2, 1, 0}},
        {"every match", {{"a", 350, {"x"}}, {"x", 250}, {"x", 300}}, {350, 349, 349}, {2, 1, 0}},
        {"missing, none found yet", {{"a", 300, {"gone"}}, {"b", 300}}, {999, 300}, {1, 0}},
        {"missing after a found one",
         {{"a", 300, {"b"}}, {"b", 300}, {"c", 300, {"gone"}}},
         {300, 299, 300},
         {1, 2, 0}},
        {"dispositions last, kept when named",
         {{"a", 1002}, {"b", 300}, {"c", 1000}, {"d", 1001}, {"e", 250, {"f"}}, {"f", 1001}},
         {1002, 300, 1000, 1001, 250, 1001},
         {4, 1, 2, 5, 3, 0}},
        {"packages not installed name nothing",
         {{"bad", 1001, {"gone", "good"}},
          {"good", 300},
          {"failed", 1000, {"good"}},
          {"c", 300, {"gone"}}},
         {1001, 300, 1000, 999},
         {1, 3, 2, 0}},
        {"single", {{"a", 450}}, {450}, {0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        load_run(c.pkgs);
        OrderPkgInstallation();
        EXPECT_EQ(flags(), c.flags);
        EXPECT_EQ(std::vector<int32_t>(PkgSeq, PkgSeq + pkgnum), c.seq);
    }
}

TEST(InstallOrder, TracesEachDecision) {
    load_run({{"a", 300, {"b", "gone"}}, {"b", 250}});
    OrderPkgInstallation();
    std::string log = trace_log();
    for (const char *line :
         {"] a require to install Prereq Package b\n", "] Prereq Package is found in xml list.\n",
          "] a require to install Prereq Package gone\n", "] b: Order Flag is 299\n",
          "] ee0:mm0:xx1:\n", "] ee0:mm0:xx0:\n", "] Pakage installation sequence:\n",
          "] --1:name1\n", "] --0:name0\n"}) {
        EXPECT_NE(log.find(line), std::string::npos) << line;
    }
    EXPECT_EQ(log.find("Prereq is not found"), std::string::npos);
}

TEST(InstallOrder, SupersedesIntoAFullListIsDropped) {
    load_run({{"a", 300, {"b", "c", "d", "e", "f"}},
              {"b", 300, {}, "x"},
              {"c", 300},
              {"d", 300},
              {"e", 300},
              {"f", 300},
              {"x", 300}});
    OrderPkgInstallation();
    EXPECT_EQ(pkgInstance[0].preReqCount, 5);
    EXPECT_STREQ(pkgInstance[0].supersedes, "No supersedes");
    EXPECT_EQ(flags(), (std::vector<int32_t>{300, 299, 299, 299, 299, 299, 300}));
    EXPECT_NE(trace_log().find("preReq list of a is full"), std::string::npos);
}

} // namespace
