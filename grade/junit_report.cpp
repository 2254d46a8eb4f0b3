#include "grade_report.h"

#include <pugixml.hpp>

#include <sstream>

namespace wren::grade {

std::string JunitReport(const std::vector<SubmissionResult>& results, std::uint64_t seed,
                        const ReportOptions& options) {
    pugi::xml_document doc;
    auto suites = doc.append_child("testsuites");
    suites.append_attribute("name") = "wren-grade";
    int tests = 0, failures = 0;
    for (const auto& r : results) {
        tests += r.passed + r.failed;
        failures += r.failed;
    }
    suites.append_attribute("tests") = tests;
    suites.append_attribute("failures") = failures;
    for (const auto& r : results) {
        auto suite = suites.append_child("testsuite");
        suite.append_attribute("name") = r.file.c_str();
        suite.append_attribute("tests") = r.passed + r.failed;
        suite.append_attribute("failures") = r.failed;
        auto properties = suite.append_child("properties");
        const std::pair<const char*, std::string> props[] = {{"seed", std::to_string(seed)},
                                                             {"score", PointsText(r.score)},
                                                             {"max_score", PointsText(r.maxScore)}};
        for (const auto& [name, value] : props) {
            auto p = properties.append_child("property");
            p.append_attribute("name") = name;
            p.append_attribute("value") = value.c_str();
        }
        for (const auto& c : r.cases) {
            auto testcase = suite.append_child("testcase");
            const std::string name = c.c->name + " [" + PointsText(c.c->points) +
                                     (c.c->points == 1 ? " point]" : " points]");
            testcase.append_attribute("name") = name.c_str();
            testcase.append_attribute("classname") = r.file.c_str();
            auto caseProps = testcase.append_child("properties");
            for (const auto& [pname, value] :
                 {std::pair<const char*, std::string>{"points", PointsText(c.c->points)},
                  {"score", PointsText(c.score)},
                  {"outcome", OutcomeName(c.outcome)}}) {
                auto p = caseProps.append_child("property");
                p.append_attribute("name") = pname;
                p.append_attribute("value") = value.c_str();
            }
            if (c.outcome != Outcome::Passed) {
                auto failure = testcase.append_child("failure");
                failure.append_attribute("type") = OutcomeName(c.outcome);
                failure.append_attribute("message") = c.detail.c_str();
                failure.append_child(pugi::node_pcdata).set_value(CaseOutput(c, options).c_str());
            }
        }
        if (!r.feedback.empty())
            suite.append_child("system-out")
                .append_child(pugi::node_pcdata)
                .set_value(FeedbackText(r).c_str());
    }
    std::ostringstream out;
    doc.save(out, "  ", pugi::format_default, pugi::encoding_utf8);
    return out.str();
}

} // namespace wren::grade
