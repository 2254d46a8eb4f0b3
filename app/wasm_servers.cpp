#include "wasm_servers.h"

#include "case_check.h"
#include "class_build.h"
#include "debug_adapter.h"
#include "grade.h"
#include "grade_report.h"
#include "language_server.h"

namespace wren::wasm {

namespace {

class HostedLanguageServer final : public HostedServer {
public:
    std::optional<int> Handle(const rpc::Incoming& incoming) override {
        return server_.Handle(incoming);
    }

private:
    lsp::LanguageServer server_{HostChannel()};
};

// One thread: the host runs a continue's slices between messages.
class HostedDebugAdapter final : public HostedServer {
public:
    std::optional<int> Handle(const rpc::Incoming& incoming) override {
        return adapter_.Handle(incoming) ? std::optional(0) : std::nullopt;
    }
    bool Busy() const override { return adapter_.Running(); }
    void Work() override { adapter_.RunSlice(); }

private:
    dap::DebugAdapter adapter_{HostChannel(), dap::Execution::Slices};
};

class HostedGrader final : public HostedServer {
public:
    std::optional<int> Handle(const rpc::Incoming& incoming) override {
        if (incoming.kind == rpc::Incoming::Kind::Closed)
            return 0;
        nlohmann::json answer;
        try {
            answer = incoming.kind == rpc::Incoming::Kind::Message
                         ? Grade(incoming.message)
                         : nlohmann::json{{"error", incoming.error}};
        } catch (const std::exception& error) {
            answer = {{"error", error.what()}};
        }
        HostChannel().Write(answer);
        return std::nullopt;
    }

private:
    /// A request's case file, read, with its model answer run, and its seed.
    struct Cases {
        std::string path;
        std::uint64_t seed = 1;
        grade::CaseFile file;
    };
    static std::string ErrorText(const std::string& path, const grade::CaseFileError& error) {
        return path + (error.line > 0 ? ":" + std::to_string(error.line) : "") + ": " +
               error.message;
    }
    /// Reads the request's "cases" with its "seed"; "FILE:LINE: reason" when
    /// the file or its model answer fails.
    static std::optional<std::string> LoadCases(const nlohmann::json& request, Cases& cases) {
        cases.path = request.at("cases").get<std::string>();
        cases.seed = request.value("seed", std::uint64_t{1});
        std::optional<grade::CaseFileError> error;
        cases.file = grade::ReadCaseFile(cases.path, error);
        if (!error)
            error = grade::ResolveReference(cases.file, cases.seed);
        return error ? std::optional(ErrorText(cases.path, *error)) : std::nullopt;
    }

    // As wren-grade grades one submission, with its seed; hidden cases say
    // only their outcome.
    static nlohmann::json Grade(const nlohmann::json& request) {
        if (request.contains("class"))
            return GradeClass(request.at("class"));
        if (request.contains("check"))
            return CheckCaseFile(request.at("check"));
        // A case of many inputs tells how far it is, the model answer's runs
        // and the program's, so that the page can show it and offer Stop.
        grade::SetInputProgress([](std::uint64_t done, std::uint64_t total) {
            HostChannel().Write(
                nlohmann::json{{"progress", done}, {"of", total}, {"inputs", true}});
        });
        Cases cases;
        if (auto error = LoadCases(request, cases)) {
            grade::SetInputProgress(nullptr);
            return {{"error", *error}};
        }
        const grade::SubmissionResult result = grade::GradeSubmission(
            cases.file, request.at("program").get<std::string>(), cases.seed);
        grade::SetInputProgress(nullptr);
        nlohmann::json rows = nlohmann::json::array();
        for (const grade::CaseResult& c : result.cases) {
            const bool hidden = grade::IsHidden(*c.c);
            nlohmann::json row = {{"name", c.c->name},
                                  {"outcome", grade::OutcomeName(c.outcome)},
                                  {"score", c.score},
                                  {"points", c.c->points},
                                  {"hidden", hidden},
                                  {"output", grade::CaseOutput(c)},
                                  {"found", hidden ? "" : grade::InputsText(c)}};
            // The words to set to see a visible failure in the machine.
            if (!hidden && c.outcome != grade::Outcome::Passed && c.steps >= 0)
                row["sets"] = c.spec.sets;
            rows.push_back(std::move(row));
        }
        return {{"results", rows},
                {"score", result.score},
                {"maxScore", result.maxScore},
                {"feedback", result.feedback}};
    }

    // The case file checked by small changes of its model answer, as
    // wren-grade --check-cases --format json answers, with a progress
    // message after each change.
    static nlohmann::json CheckCaseFile(const nlohmann::json& request) {
        Cases cases;
        if (auto error = LoadCases(request, cases))
            return {{"error", *error}};
        if (auto error = grade::CheckableReference(cases.file))
            return {{"error", ErrorText(cases.path, *error)}};
        const grade::CaseCheck check =
            grade::CheckCases(cases.file, cases.seed, [](std::size_t done, std::size_t total) {
                HostChannel().Write(
                    nlohmann::json{{"progress", done}, {"of", total}, {"changes", true}});
            });
        return {{"check", nlohmann::json::parse(grade::CaseCheckJson(check))},
                {"line", grade::CaseCheckLine(check)}};
    }

    // A whole class, as wren-grade --class-report builds it: the figures and
    // the HTML page, with a progress message after each batch.
    static nlohmann::json GradeClass(const nlohmann::json& request) {
        Cases cases;
        if (auto error = LoadCases(request, cases))
            return {{"error", *error}};
        grade::ClassOptions options;
        options.classReport = true;
        options.similarity = request.value("similar", true);
        options.threshold = request.value("threshold", 0.6);
        options.progress = [](std::size_t done, std::size_t total) {
            HostChannel().Write(nlohmann::json{{"progress", done}, {"of", total}});
        };
        const auto files = request.at("files").get<std::vector<std::string>>();
        const grade::ClassInput klass =
            grade::BuildClass(cases.file, files, cases.seed, options,
                              request.value("problems", std::vector<std::string>{}));
        const auto figures = grade::ClassJson(klass);
        return {{"figures", nlohmann::json::parse(figures.dump())},
                {"html", grade::ClassHtml(figures)}};
    }
};

} // namespace

std::unique_ptr<HostedServer> Grader() { return std::make_unique<HostedGrader>(); }

std::unique_ptr<HostedServer> LanguageServer() { return std::make_unique<HostedLanguageServer>(); }

std::unique_ptr<HostedServer> DebugAdapter() { return std::make_unique<HostedDebugAdapter>(); }

} // namespace wren::wasm
