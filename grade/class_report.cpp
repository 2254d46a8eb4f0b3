#include "class_report.h"

#include "grade_report.h"
#include "program_map.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace wren::grade {

namespace {

using Json = nlohmann::ordered_json;

// The outcomes in the order the report shows them, with their words.
constexpr std::pair<Outcome, const char*> kOutcomes[] = {
    {Outcome::Passed, "passed"},
    {Outcome::WrongResult, "wrong result"},
    {Outcome::EndlessLoop, "endless loop"},
    {Outcome::DidNotStop, "step limit"},
    {Outcome::Fault, "fault"},
    {Outcome::LoadError, "did not load"},
    {Outcome::Empty, "empty"},
    {Outcome::Error, "error"},
};

// The -W names in the checker's lines: "... [-Wname]".
std::vector<std::string> SlipNames(const SubmissionResult& r) {
    std::vector<std::string> names;
    for (const std::string& f : r.feedback)
        for (std::size_t at = f.find("[-W"); at != std::string::npos; at = f.find("[-W", at + 3)) {
            const std::size_t end = f.find(']', at);
            if (end == std::string::npos)
                break;
            const std::string name = f.substr(at + 3, end - at - 3);
            if (std::find(names.begin(), names.end(), name) == names.end())
                names.push_back(name);
        }
    return names;
}

// Lines first..last of a text, numbered, as the loader counts them.
std::string Lines(const std::string& text, int first, int last) {
    const auto lines = SplitLines(text);
    // A text that ends in a line break has no line after it.
    const std::size_t count =
        !lines.empty() && lines.back().empty() ? lines.size() - 1 : lines.size();
    std::string out;
    for (int n = std::max(first, 1); n <= last && static_cast<std::size_t>(n) <= count; ++n)
        out +=
            std::to_string(n) + "  " + std::string(lines[static_cast<std::size_t>(n) - 1]) + "\n";
    return out;
}

Json Number(double x) { return x == std::floor(x) ? Json(static_cast<long long>(x)) : Json(x); }

} // namespace

// For a case with every: how many graded submissions passed on every input
// it ran, and what the failing inputs shared, most common first.
Json EveryFigures(const ClassInput& in, std::size_t c) {
    std::uint64_t inputs = 0;
    int passed = 0;
    int graded = 0;
    std::map<std::string, int> conditions;
    for (std::size_t s = 0; s < in.results.size(); ++s) {
        if (!in.members[s].notGraded.empty())
            continue;
        ++graded;
        const CaseResult& r = in.results[s].cases[c];
        if (r.inputs)
            inputs = std::max(inputs, r.inputs->run);
        passed += r.outcome == Outcome::Passed;
        if (r.inputs && !r.inputs->condition.empty())
            ++conditions[r.inputs->condition];
    }
    std::vector<std::pair<std::string, int>> common(conditions.begin(), conditions.end());
    std::stable_sort(common.begin(), common.end(),
                     [](const auto& x, const auto& y) { return x.second > y.second; });
    Json list = Json::array();
    for (std::size_t i = 0; i < common.size() && i < 5; ++i)
        list.push_back({{"condition", common[i].first}, {"submissions", common[i].second}});
    return {{"inputs", inputs},
            {"passed_every_input", passed},
            {"graded", graded},
            {"common_conditions", std::move(list)}};
}

Json ClassJson(const ClassInput& in) {
    const CaseFile& cases = *in.cases;
    Json out;
    out["seed"] = in.seed;
    out["submissions_count"] = in.members.size();
    // Per case: outcomes, points, and the steps of those that passed.
    Json caseList = Json::array();
    for (std::size_t c = 0; c < cases.cases.size(); ++c) {
        Json outcomes = Json::object();
        for (const auto& [outcome, _] : kOutcomes)
            outcomes[OutcomeName(outcome)] = 0;
        Json steps = Json::array(), cycles = Json::array();
        std::map<double, int> points;
        for (std::size_t s = 0; s < in.results.size(); ++s) {
            if (!in.members[s].notGraded.empty())
                continue;
            const CaseResult& r = in.results[s].cases[c];
            outcomes[OutcomeName(r.outcome)] = outcomes[OutcomeName(r.outcome)].get<int>() + 1;
            ++points[r.score];
            if (r.outcome == Outcome::Passed) {
                steps.push_back(r.steps);
                cycles.push_back(r.cycles);
            }
        }
        Json pointsList = Json::array();
        for (const auto& [p, n] : points)
            pointsList.push_back({{"points", Number(p)}, {"submissions", n}});
        Json one{{"name", cases.cases[c].name},       {"points", Number(cases.cases[c].points)},
                 {"outcomes", std::move(outcomes)},   {"points_given", std::move(pointsList)},
                 {"passing_steps", std::move(steps)}, {"passing_cycles", std::move(cycles)}};
        if (!cases.cases[c].every.empty())
            one["every"] = EveryFigures(in, c);
        const bool refPassed = in.reference && in.reference->cases[c].outcome == Outcome::Passed;
        one["reference_steps"] = refPassed ? Json(in.reference->cases[c].steps) : Json(nullptr);
        caseList.push_back(std::move(one));
    }
    out["cases"] = std::move(caseList);
    if (in.caseCheck) {
        out["case_check"] = Json::parse(CaseCheckJson(*in.caseCheck));
        out["case_check"]["line"] = CaseCheckLine(*in.caseCheck);
    }

    // Who is like whom, for the table's column.
    std::vector<Json> similar(in.members.size(), Json::array());
    for (const SimilarPair& p : in.pairs) {
        similar[p.a].push_back({{"with", in.members[p.b].name}, {"similarity", p.similarity}});
        similar[p.b].push_back({{"with", in.members[p.a].name}, {"similarity", p.similarity}});
    }
    std::map<std::string, int> slips;
    Json subs = Json::array();
    for (std::size_t s = 0; s < in.members.size(); ++s) {
        const SubmissionResult& r = in.results[s];
        const ClassMember& m = in.members[s];
        Json one{{"name", m.name}, {"file", r.file}};
        if (!m.notGraded.empty()) {
            one["not_graded"] = m.notGraded;
            one["score"] = 0;
            one["max_score"] = Number(r.maxScore);
            subs.push_back(std::move(one));
            continue;
        }
        one["score"] = Number(r.score);
        one["max_score"] = Number(r.maxScore);
        Json outcomes = Json::array(), steps = Json::array(), cycles = Json::array();
        for (const CaseResult& c : r.cases) {
            outcomes.push_back(OutcomeName(c.outcome));
            const bool passed = c.outcome == Outcome::Passed;
            steps.push_back(passed ? Json(c.steps) : Json(nullptr));
            cycles.push_back(passed ? Json(c.cycles) : Json(nullptr));
        }
        one["outcomes"] = std::move(outcomes);
        one["steps"] = std::move(steps);
        one["cycles"] = std::move(cycles);
        const auto names = SlipNames(r);
        for (const std::string& n : names)
            ++slips[n];
        one["slips"] = names;
        one["similar"] = std::move(similar[s]);
        one["report"] = m.report.empty() ? Json(nullptr) : Json(m.report);
        subs.push_back(std::move(one));
    }
    out["submissions"] = std::move(subs);
    std::vector<std::pair<std::string, int>> bySlip(slips.begin(), slips.end());
    std::stable_sort(bySlip.begin(), bySlip.end(),
                     [](const auto& x, const auto& y) { return x.second > y.second; });
    Json slipList = Json::array();
    for (const auto& [name, n] : bySlip)
        slipList.push_back({{"name", name}, {"submissions", n}});
    out["slips"] = std::move(slipList);

    Json pairs = Json::array();
    for (const SimilarPair& p : in.pairs) {
        Json ranges = Json::array();
        for (const auto& [a, b] : p.ranges)
            ranges.push_back({{"a", {a.first, a.last}},
                              {"b", {b.first, b.last}},
                              {"a_text", Lines(in.members[p.a].text, a.first, a.last)},
                              {"b_text", Lines(in.members[p.b].text, b.first, b.last)}});
        pairs.push_back({{"a", in.members[p.a].name},
                         {"b", in.members[p.b].name},
                         {"similarity", std::round(p.similarity * 1000) / 1000},
                         {"shared", p.shared},
                         {"ranges", std::move(ranges)}});
    }
    out["similarity"] = {{"looked_for", in.similarity}, {"threshold", in.threshold}};
    out["pairs"] = std::move(pairs);
    out["problems"] = in.problems;
    return out;
}

namespace {

std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string Fmt(double x) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4g", x);
    return text;
}

// Outcome colours, dark enough for white labels and told apart in print by
// their patterns as well.
constexpr const char* kFill[] = {"#1b7f3b", "#b3261e", "#6a1b9a", "#8a5a00",
                                 "#0b57b0", "#4a4a4a", "#7a7a7a", "#000000"};

std::string Patterns() {
    std::string s = "<defs>";
    for (std::size_t i = 0; i < std::size(kOutcomes); ++i) {
        s += "<pattern id=\"p" + std::to_string(i) +
             "\" width=\"8\" height=\"8\" patternUnits=\"userSpaceOnUse\"><rect width=\"8\" "
             "height=\"8\" fill=\"" +
             kFill[i] + "\"/>";
        if (i % 3 == 1)
            s += "<path d=\"M0 8 L8 0\" stroke=\"#fff\" stroke-width=\"1.5\"/>";
        if (i % 3 == 2)
            s += "<circle cx=\"4\" cy=\"4\" r=\"1.5\" fill=\"#fff\"/>";
        s += "</pattern>";
    }
    return s + "</defs>";
}

// One stacked bar a case: how its submissions ended.
std::string OutcomeBars(const Json& cases, std::size_t total) {
    const int rowH = 28, labelW = 170, barW = 520;
    const int height = static_cast<int>(cases.size()) * rowH + 50;
    std::string s =
        "<svg role=\"img\" aria-labelledby=\"outcomes-title\" viewBox=\"0 0 " +
        std::to_string(labelW + barW + 20) + " " + std::to_string(height) +
        "\" class=\"plot\"><title id=\"outcomes-title\">How each case ended, as a share "
        "of the class</title>" +
        Patterns();
    int y = 10;
    for (const Json& c : cases) {
        s += "<text x=\"0\" y=\"" + std::to_string(y + 17) + "\">" +
             Escape(c["name"].get<std::string>()) + "</text>";
        double x = labelW;
        std::size_t i = 0;
        for (const auto& [outcome, words] : kOutcomes) {
            const int n = c["outcomes"][OutcomeName(outcome)].get<int>();
            const double w = total ? barW * static_cast<double>(n) / static_cast<double>(total) : 0;
            if (n > 0) {
                s += "<rect x=\"" + Fmt(x) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
                     Fmt(w) + "\" height=\"22\" fill=\"url(#p" + std::to_string(i) + ")\"><title>" +
                     Escape(c["name"].get<std::string>()) + ": " + std::to_string(n) + " " + words +
                     "</title></rect>";
                if (w > 26)
                    s += "<text x=\"" + Fmt(x + 4) + "\" y=\"" + std::to_string(y + 16) +
                         "\" class=\"on-bar\">" + std::to_string(n) + "</text>";
            }
            x += w;
            ++i;
        }
        y += rowH;
    }
    // The legend.
    double x = 0;
    std::size_t i = 0;
    for (const auto& [_, words] : kOutcomes) {
        s += "<rect x=\"" + Fmt(x) + "\" y=\"" + std::to_string(y + 6) +
             "\" width=\"14\" height=\"14\" fill=\"url(#p" + std::to_string(i++) +
             ")\"/><text x=\"" + Fmt(x + 18) + "\" y=\"" + std::to_string(y + 18) + "\">" + words +
             "</text>";
        x += 18 + 8.0 * std::string(words).size() + 14;
    }
    return s + "</svg>";
}

// A histogram of values, with a mark at one of them (the model answer's).
std::string Histogram(const std::string& id, const std::string& title,
                      const std::vector<long long>& values, std::optional<long long> mark,
                      const std::string& axis) {
    const int w = 560, h = 200, left = 44, bottom = 34;
    std::string s = "<svg role=\"img\" aria-labelledby=\"" + id + "\" viewBox=\"0 0 " +
                    std::to_string(w) + " " + std::to_string(h) + "\" class=\"plot\"><title id=\"" +
                    id + "\">" + Escape(title) + "</title>";
    if (values.empty())
        return s + "<text x=\"10\" y=\"40\">none passed</text></svg>";
    long long lo = *std::min_element(values.begin(), values.end());
    long long hi = *std::max_element(values.begin(), values.end());
    if (mark) {
        lo = std::min(lo, *mark);
        hi = std::max(hi, *mark);
    }
    const int bins = static_cast<int>(std::min<long long>(12, hi - lo + 1));
    const double width = static_cast<double>(hi - lo + 1) / bins;
    std::vector<int> counts(static_cast<std::size_t>(bins));
    for (long long v : values)
        ++counts[static_cast<std::size_t>(
            std::min<long long>(bins - 1, static_cast<long long>((v - lo) / width)))];
    const int most = *std::max_element(counts.begin(), counts.end());
    const double barW = static_cast<double>(w - left - 10) / bins;
    for (int b = 0; b < bins; ++b) {
        const double bh = most ? (h - bottom - 20) * counts[static_cast<std::size_t>(b)] /
                                     static_cast<double>(most)
                               : 0;
        const double x = left + b * barW;
        const long long from = lo + static_cast<long long>(std::ceil(b * width));
        const long long to = lo + static_cast<long long>(std::ceil((b + 1) * width)) - 1;
        s += "<rect x=\"" + Fmt(x + 1) + "\" y=\"" + Fmt(h - bottom - bh) + "\" width=\"" +
             Fmt(barW - 2) + "\" height=\"" + Fmt(bh) + "\" fill=\"#0b57b0\"><title>" +
             std::to_string(from) + (to > from ? "–" + std::to_string(to) : "") + " " + axis +
             ": " + std::to_string(counts[static_cast<std::size_t>(b)]) + "</title></rect>";
        if (counts[static_cast<std::size_t>(b)] > 0)
            s += "<text x=\"" + Fmt(x + barW / 2) + "\" y=\"" + Fmt(h - bottom - bh - 4) +
                 "\" text-anchor=\"middle\">" +
                 std::to_string(counts[static_cast<std::size_t>(b)]) + "</text>";
    }
    s += "<line x1=\"" + std::to_string(left) + "\" y1=\"" + std::to_string(h - bottom) +
         "\" x2=\"" + std::to_string(w - 10) + "\" y2=\"" + std::to_string(h - bottom) +
         "\" stroke=\"#333\"/>";
    s += "<text x=\"" + std::to_string(left) + "\" y=\"" + std::to_string(h - 14) + "\">" +
         std::to_string(lo) + "</text><text x=\"" + std::to_string(w - 10) + "\" y=\"" +
         std::to_string(h - 14) + "\" text-anchor=\"end\">" + std::to_string(hi) + " " + axis +
         "</text>";
    if (mark) {
        const double x = left + (static_cast<double>(*mark - lo) + 0.5) / width * barW;
        s += "<line x1=\"" + Fmt(x) + "\" y1=\"10\" x2=\"" + Fmt(x) + "\" y2=\"" +
             std::to_string(h - bottom) +
             "\" stroke=\"#b3261e\" stroke-width=\"2\" stroke-dasharray=\"5 3\"/><text x=\"" +
             Fmt(x + 4) + "\" y=\"20\" fill=\"#b3261e\">model answer: " + std::to_string(*mark) +
             "</text>";
    }
    return s + "</svg>";
}

constexpr const char* kStyle = R"(
body { font-family: system-ui, "DejaVu Sans", sans-serif; margin: 1.5rem; color: #1b1f24; line-height: 1.4; }
h1 { font-size: 1.5rem; } h2 { font-size: 1.2rem; margin-top: 2rem; border-bottom: 1px solid #ccc; }
table { border-collapse: collapse; margin: 0.5rem 0; font-size: 0.9rem; }
th, td { border: 1px solid #bbb; padding: 0.2rem 0.5rem; text-align: left; vertical-align: top; }
th button { font: inherit; font-weight: bold; background: none; border: 0; padding: 0; cursor: pointer; color: inherit; }
td.num { text-align: right; font-variant-numeric: tabular-nums; }
.plot { width: 100%; max-width: 46rem; height: auto; display: block; }
.plot text { font-size: 12px; fill: #1b1f24; } .plot .on-bar { fill: #fff; font-weight: bold; }
.flag { color: #b3261e; font-weight: bold; }
pre { background: #f3f4f6; padding: 0.4rem; margin: 0; font-size: 0.85rem; }
.side { display: grid; grid-template-columns: 1fr 1fr; gap: 0.5rem; }
.visually-hidden { position: absolute; width: 1px; height: 1px; overflow: hidden; clip: rect(0 0 0 0); }
@media print { th button::after { content: none; } h2 { break-after: avoid; } .plot { max-width: 100%; } }
)";

// Sorts the submissions table by a column, numbers as numbers.
constexpr const char* kSortScript = R"(
document.querySelectorAll('table.sortable').forEach((table) => {
  table.querySelectorAll('th button').forEach((button, column) => {
    button.addEventListener('click', () => {
      const th = button.closest('th');
      const down = th.getAttribute('aria-sort') === 'ascending';
      table.querySelectorAll('th').forEach((h) => h.removeAttribute('aria-sort'));
      th.setAttribute('aria-sort', down ? 'descending' : 'ascending');
      const key = (row) => row.cells[column].dataset.sort ?? row.cells[column].textContent;
      const rows = [...table.tBodies[0].rows];
      rows.sort((a, b) => {
        const x = key(a), y = key(b);
        const nx = Number(x), ny = Number(y);
        const order = x !== '' && y !== '' && !isNaN(nx) && !isNaN(ny) ? nx - ny : x.localeCompare(y);
        return down ? -order : order;
      });
      table.tBodies[0].append(...rows);
    });
  });
});
)";

} // namespace

std::string ClassHtml(const Json& f) {
    const std::size_t total = f["submissions_count"].get<std::size_t>();
    std::string s = "<!doctype html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
                    "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
                    "style-src 'unsafe-inline'; script-src 'unsafe-inline'\">"
                    "<title>Class report</title><style>" +
                    std::string(kStyle) + "</style></head><body><main>\n<h1>Class report</h1>\n";
    s += "<p>" + std::to_string(total) + " submissions, " + std::to_string(f["cases"].size()) +
         " cases, seed " + std::to_string(f["seed"].get<std::uint64_t>()) + ".</p>\n";
    if (!f["problems"].empty()) {
        s += "<section aria-labelledby=\"problems\"><h2 id=\"problems\">Problems with the "
             "input</h2><ul>";
        for (const Json& p : f["problems"])
            s += "<li>" + Escape(p.get<std::string>()) + "</li>";
        s += "</ul></section>\n";
    }
    s += "<section aria-labelledby=\"per-case\"><h2 id=\"per-case\">Per case</h2>\n" +
         OutcomeBars(f["cases"], total) +
         "\n<table><caption>How each case ended</caption><thead><tr><th scope=\"col\">Case</th><th "
         "scope=\"col\">Points</th>";
    for (const auto& [_, words] : kOutcomes)
        s += "<th scope=\"col\">" + std::string(words) + "</th>";
    s += "<th scope=\"col\">Points given</th></tr></thead><tbody>";
    for (const Json& c : f["cases"]) {
        s += "<tr><th scope=\"row\">" + Escape(c["name"].get<std::string>()) +
             "</th><td class=\"num\">" + c["points"].dump() + "</td>";
        for (const auto& [outcome, _] : kOutcomes)
            s += "<td class=\"num\">" + c["outcomes"][OutcomeName(outcome)].dump() + "</td>";
        std::string given;
        for (const Json& p : c["points_given"])
            given += (given.empty() ? "" : ", ") + p["points"].dump() +
                     " pts: " + p["submissions"].dump();
        s += "<td>" + given + "</td></tr>";
    }
    s += "</tbody></table>";
    // Cases run on every input of their ranges: who passed on all of them,
    // and what the failing inputs most often shared.
    std::string every;
    for (const Json& c : f["cases"]) {
        if (!c.contains("every"))
            continue;
        const Json& e = c["every"];
        std::string shared;
        for (const Json& k : e["common_conditions"])
            shared += std::string(shared.empty() ? "" : "; ") + "every failing input has " +
                      Escape(k["condition"].get<std::string>()) + ": " + k["submissions"].dump();
        every += "<tr><th scope=\"row\">" + Escape(c["name"].get<std::string>()) +
                 "</th><td class=\"num\">" + e["inputs"].dump() + "</td><td class=\"num\">" +
                 e["passed_every_input"].dump() + " of " + e["graded"].dump() + "</td><td>" +
                 (shared.empty() ? "none shared by a whole class of failures" : shared) +
                 "</td></tr>";
    }
    if (!every.empty())
        s += "<table><caption>Cases run on every input of a range</caption><thead><tr><th "
             "scope=\"col\">Case</th><th scope=\"col\">Inputs run</th><th "
             "scope=\"col\">Passed on every input</th><th scope=\"col\">What the failing "
             "inputs shared, most common first (submissions)</th></tr></thead><tbody>" +
             every + "</tbody></table>";
    // How many slips of the model answer the cases would catch.
    if (f.contains("case_check")) {
        const Json& k = f["case_check"];
        s += "<p id=\"case-check\">" + Escape(k["line"].get<std::string>()) + "</p>";
        if (!k["survivors"].empty()) {
            s += "<details><summary>Changes every case lets through</summary><ul>";
            for (const Json& c : k["survivors"])
                s += "<li>" + c["line"].dump() + ": <code>" +
                     Escape(c["before"].get<std::string>()) + "</code> &rarr; <code>" +
                     Escape(c["after"].get<std::string>()) +
                     "</code>: " + Escape(c["hint"].get<std::string>()) + "</li>";
            s += "</ul></details>";
        }
    }
    s += "</section>\n";

    // Totals, then efficiency.
    std::vector<long long> totals;
    for (const Json& sub : f["submissions"])
        totals.push_back(static_cast<long long>(std::llround(sub["score"].get<double>())));
    s += "<section aria-labelledby=\"totals\"><h2 id=\"totals\">Points</h2>" +
         Histogram("totals-plot", "Total points of the class", totals, std::nullopt, "points") +
         "</section>\n";
    s += "<section aria-labelledby=\"efficiency\"><h2 id=\"efficiency\">Efficiency of the passing "
         "programs</h2>";
    int n = 0;
    for (const Json& c : f["cases"]) {
        std::vector<long long> steps;
        for (const Json& x : c["passing_steps"])
            steps.push_back(x.get<long long>());
        const auto mark = c["reference_steps"].is_null()
                              ? std::nullopt
                              : std::optional(c["reference_steps"].get<long long>());
        s += "<h3>" + Escape(c["name"].get<std::string>()) + "</h3>" +
             Histogram("steps-" + std::to_string(n++),
                       "Steps of the programs that passed " + c["name"].get<std::string>(), steps,
                       mark, "steps");
    }
    s += "</section>\n";

    // Slips.
    s += "<section aria-labelledby=\"slips\"><h2 id=\"slips\">Slips the checker found</h2>";
    if (f["slips"].empty())
        s += "<p>None.</p>";
    else {
        s +=
            "<table><thead><tr><th scope=\"col\">Warning</th><th scope=\"col\">Submissions</th><th "
            "scope=\"col\"><span class=\"visually-hidden\">Share</span></th></tr></thead><tbody>";
        for (const Json& slip : f["slips"]) {
            const int count = slip["submissions"].get<int>();
            const int bar =
                total ? static_cast<int>(200.0 * count / static_cast<double>(total)) : 0;
            s += "<tr><td>-W" + Escape(slip["name"].get<std::string>()) +
                 "</td><td class=\"num\">" + std::to_string(count) +
                 "</td><td><svg width=\"204\" height=\"14\" role=\"img\" aria-label=\"" +
                 std::to_string(count) + " of " + std::to_string(total) + "\"><rect width=\"" +
                 std::to_string(bar) + "\" height=\"14\" fill=\"#8a5a00\"/></svg></td></tr>";
        }
        s += "</tbody></table>";
    }
    s += "</section>\n";

    // Similar pairs.
    s += "<section aria-labelledby=\"similar\"><h2 id=\"similar\">Similar submissions</h2>";
    if (!f["similarity"]["looked_for"].get<bool>())
        s += "<p>Not looked for (--no-similar).</p>";
    else if (f["pairs"].empty())
        s += "<p>No pair reaches " + Fmt(f["similarity"]["threshold"].get<double>()) + ".</p>";
    else {
        s +=
            "<p>Pairs that share at least " +
            Fmt(f["similarity"]["threshold"].get<double>() * 100) +
            " % of the smaller program's fingerprints (k-grams of the loaded words, winnowed; what "
            "the model answer or the starter program has, and what much of the class shares, left "
            "out), best first.</p>";
        for (const Json& p : f["pairs"]) {
            s += "<details><summary><span class=\"flag\">" +
                 Fmt(p["similarity"].get<double>() * 100) + " %</span> " +
                 Escape(p["a"].get<std::string>()) + " and " + Escape(p["b"].get<std::string>()) +
                 "</summary>";
            for (const Json& r : p["ranges"]) {
                s += "<div class=\"side\"><pre>" + Escape(p["a"].get<std::string>()) + ", lines " +
                     r["a"][0].dump() + "–" + r["a"][1].dump() + "\n" +
                     Escape(r["a_text"].get<std::string>()) + "</pre><pre>" +
                     Escape(p["b"].get<std::string>()) + ", lines " + r["b"][0].dump() + "–" +
                     r["b"][1].dump() + "\n" + Escape(r["b_text"].get<std::string>()) +
                     "</pre></div>";
            }
            s += "</details>";
        }
    }
    s += "</section>\n";

    // The submissions.
    s += "<section aria-labelledby=\"submissions\"><h2 id=\"submissions\">Submissions</h2>"
         "<table class=\"sortable\" aria-describedby=\"sort-hint\"><caption id=\"sort-hint\">Every "
         "submission; a column's heading sorts by it</caption><thead><tr>";
    std::vector<std::string> heads{"Submission", "Score"};
    for (const Json& c : f["cases"])
        heads.push_back(c["name"].get<std::string>());
    for (const Json& c : f["cases"])
        heads.push_back("Steps: " + c["name"].get<std::string>());
    heads.insert(heads.end(), {"Slips", "Similar to"});
    for (const std::string& h : heads)
        s += "<th scope=\"col\"><button type=\"button\">" + Escape(h) + "</button></th>";
    s += "</tr></thead><tbody>";
    for (const Json& sub : f["submissions"]) {
        const std::string name = Escape(sub["name"].get<std::string>());
        s += "<tr><th scope=\"row\" data-sort=\"" + name + "\">" +
             (sub.contains("report") && !sub["report"].is_null()
                  ? "<a href=\"" + Escape(sub["report"].get<std::string>()) + "\">" + name + "</a>"
                  : name) +
             "</th><td class=\"num\">" + sub["score"].dump() + "/" + sub["max_score"].dump() +
             "</td>";
        if (sub.contains("not_graded")) {
            s += "<td colspan=\"" + std::to_string(heads.size() - 2) +
                 "\">not graded: " + Escape(sub["not_graded"].get<std::string>()) + "</td></tr>";
            continue;
        }
        for (const Json& o : sub["outcomes"])
            s += "<td>" + Escape(o.get<std::string>()) + "</td>";
        for (const Json& st : sub["steps"])
            s += "<td class=\"num\">" + (st.is_null() ? std::string() : st.dump()) + "</td>";
        std::string slips, like;
        for (const Json& w : sub["slips"])
            slips += (slips.empty() ? "-W" : ", -W") + w.get<std::string>();
        double best = 0;
        for (const Json& x : sub["similar"]) {
            like += (like.empty() ? "" : ", ") + x["with"].get<std::string>() + " (" +
                    Fmt(std::round(x["similarity"].get<double>() * 100)) + " %)";
            best = std::max(best, x["similarity"].get<double>());
        }
        s += "<td>" + Escape(slips) + "</td><td data-sort=\"" + Fmt(best) + "\"" +
             (like.empty() ? "" : " class=\"flag\"") + ">" + Escape(like) + "</td></tr>";
    }
    s += "</tbody></table></section>\n</main><script>" + std::string(kSortScript) +
         "</script></body></html>\n";
    return s;
}

std::string ClassSummaryText(const Json& f) {
    std::string s =
        "class: " + std::to_string(f["submissions_count"].get<std::size_t>()) + " submissions\n";
    for (const Json& c : f["cases"]) {
        s += "  " + c["name"].get<std::string>() + ":";
        for (const auto& [outcome, words] : kOutcomes)
            if (const int n = c["outcomes"][OutcomeName(outcome)].get<int>(); n > 0)
                s += " " + std::to_string(n) + " " + words + ",";
        s.back() = '\n';
        if (c.contains("every")) {
            const Json& e = c["every"];
            s += "    passed on every input: " + e["passed_every_input"].dump() + " of " +
                 e["graded"].dump() + "\n";
            for (const Json& k : e["common_conditions"])
                s += "    every failing input has " + k["condition"].get<std::string>() + ": " +
                     k["submissions"].dump() + " submissions\n";
        }
    }
    if (f.contains("case_check"))
        s += "  " + f["case_check"]["line"].get<std::string>() + "\n";
    if (!f["slips"].empty()) {
        s += "  slips:";
        for (const Json& slip : f["slips"])
            s += " -W" + slip["name"].get<std::string>() + " " + slip["submissions"].dump() + ",";
        s.back() = '\n';
    }
    if (f["similarity"]["looked_for"].get<bool>())
        s += "  similar pairs: " + std::to_string(f["pairs"].size()) + "\n";
    for (const Json& p : f["pairs"])
        s += "    " + p["a"].get<std::string>() + " and " + p["b"].get<std::string>() + ": " +
             Fmt(std::round(p["similarity"].get<double>() * 100)) + " %\n";
    for (const Json& p : f["problems"])
        s += "  problem: " + p.get<std::string>() + "\n";
    return s;
}

namespace {

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\n\r") == std::string::npos)
        return text;
    std::string out = "\"";
    for (char c : text)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

} // namespace

std::string GradebookCsv(const ClassInput& in) {
    std::string s = "Student,SIS Login ID,Total";
    for (const Case& c : in.cases->cases)
        s += "," + CsvField(c.name);
    s += "\r\n";
    for (std::size_t i = 0; i < in.members.size(); ++i) {
        const SubmissionResult& r = in.results[i];
        const std::string name = CsvField(in.members[i].name);
        s += name + "," + name + "," + PointsText(in.members[i].notGraded.empty() ? r.score : 0);
        for (std::size_t c = 0; c < in.cases->cases.size(); ++c)
            s += "," + (in.members[i].notGraded.empty() ? PointsText(r.cases[c].score)
                                                        : std::string("0"));
        s += "\r\n";
    }
    return s;
}

} // namespace wren::grade
