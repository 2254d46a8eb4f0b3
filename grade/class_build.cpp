#include "class_build.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>

namespace wren::grade {

// One report file name per submission, whatever way its path was written:
// the file's name without its extension; where two submissions share one,
// the names of the folders above each (of its absolute path) go in front,
// nearest first, until they differ: alice_hw1, bob_hw1.
std::vector<std::string> ReportNames(const std::vector<std::string>& files) {
    std::vector<std::vector<std::string>> parts; // stem, then folders upwards
    for (const auto& f : files) {
        std::error_code ec;
        // Lexically, not through links: a link is reported under its own name.
        std::filesystem::path path = std::filesystem::absolute(f, ec).lexically_normal();
        std::vector<std::string> up{path.stem().string()};
        for (path = path.parent_path(); path.has_relative_path(); path = path.parent_path())
            up.push_back(path.filename().string());
        parts.push_back(std::move(up));
    }
    std::vector<std::size_t> depth(files.size(), 1);
    auto name = [&](std::size_t i) {
        std::string out;
        for (std::size_t d = std::min(depth[i], parts[i].size()); d-- > 0;)
            out += (out.empty() ? "" : "_") + parts[i][d];
        return out;
    };
    for (bool clash = true; clash;) {
        clash = false;
        std::map<std::string, std::vector<std::size_t>> byName;
        for (std::size_t i = 0; i < files.size(); ++i)
            byName[name(i)].push_back(i);
        for (const auto& entry : byName) {
            const std::vector<std::size_t>& same = entry.second;
            // The same file given twice climbs no folders: nothing would
            // tell its reports apart; they are numbered below.
            const bool distinct = std::any_of(same.begin(), same.end(), [&](std::size_t i) {
                return parts[i] != parts[same[0]];
            });
            if (distinct)
                for (std::size_t i : same)
                    if (depth[i] < parts[i].size()) {
                        ++depth[i];
                        clash = true;
                    }
        }
    }
    std::vector<std::string> names;
    std::map<std::string, int> seen;
    for (std::size_t i = 0; i < files.size(); ++i) {
        std::string n = name(i);
        if (n.empty() || n.starts_with('.'))
            n = "submission" + n;
        // The same file given twice: number the later ones.
        if (const int k = seen[n]++; k > 0)
            n += "-" + std::to_string(k + 1);
        names.push_back(std::move(n));
    }
    return names;
}

namespace {

// A file's bytes; nothing when it cannot be read.
std::optional<std::string> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    if (in.bad())
        return std::nullopt;
    return bytes;
}

// Why a submission cannot be graded; empty when it can.
std::string UngradableReason(const std::optional<std::string>& bytes) {
    if (!bytes)
        return "cannot be read";
    if (bytes->find('\0') != std::string::npos)
        return "not a text file (it holds NUL bytes: binary, or UTF-16)";
    return {};
}

} // namespace

ClassInput BuildClass(const CaseFile& cases, const std::vector<std::string>& files,
                      std::uint64_t seed, const ClassOptions& options,
                      std::vector<std::string> problems) {
    ClassInput klass;
    klass.cases = &cases;
    klass.seed = seed;
    // Each file read once: the texts are kept for the report's matching
    // lines and for the similarity finder.
    const bool keepTexts = options.classReport || options.similarity;
    std::vector<std::string> notGraded(files.size()), texts(files.size());
    std::vector<std::string> gradable;
    for (std::size_t i = 0; i < files.size(); ++i) {
        std::optional<std::string> bytes = ReadBytes(files[i]);
        notGraded[i] = UngradableReason(bytes);
        if (!notGraded[i].empty()) {
            problems.push_back(files[i] + ": " + notGraded[i] + ": not graded");
            continue;
        }
        gradable.push_back(files[i]);
        if (keepTexts)
            texts[i] = std::move(*bytes);
    }
    // In batches, so that a long class can say how far it is.
    std::vector<SubmissionResult> graded;
    constexpr std::size_t kBatch = 64;
    for (std::size_t from = 0; from < gradable.size(); from += kBatch) {
        const std::vector<std::string> batch(
            gradable.begin() + static_cast<std::ptrdiff_t>(from),
            gradable.begin() +
                static_cast<std::ptrdiff_t>(std::min(gradable.size(), from + kBatch)));
        auto part = GradeAll(cases, batch, seed, options.threads);
        std::move(part.begin(), part.end(), std::back_inserter(graded));
        if (options.progress)
            options.progress(graded.size(), gradable.size());
    }
    for (std::size_t i = 0, g = 0; i < files.size(); ++i) {
        if (notGraded[i].empty()) {
            klass.results.push_back(std::move(graded[g++]));
            continue;
        }
        // Each case fails with the reason, as a file that does not load.
        klass.results.push_back(UngradableSubmission(cases, files[i], seed, notGraded[i]));
    }

    const auto names = ReportNames(files);
    std::map<std::string, std::vector<std::string>> byStem;
    for (std::size_t i = 0; i < files.size(); ++i)
        byStem[std::filesystem::path(files[i]).stem().string()].push_back(names[i]);
    for (const auto& [stem, same] : byStem)
        if (same.size() > 1) {
            std::string list;
            for (const auto& n : same)
                list += (list.empty() ? "" : ", ") + n;
            problems.push_back(std::to_string(same.size()) + " submissions are named " + stem +
                               ": reported as " + list);
        }
    for (std::size_t i = 0; i < files.size(); ++i)
        klass.members.push_back({names[i], std::move(texts[i]), "", notGraded[i]});

    if (options.classReport && !cases.reference.empty())
        klass.reference = GradeSubmission(cases, cases.reference.string(), seed);
    klass.similarity = options.similarity;
    klass.threshold = options.threshold;
    if (options.similarity) {
        std::vector<Fingerprints> prints, excluded;
        for (const ClassMember& m : klass.members)
            prints.push_back(Fingerprint(m.text));
        for (const std::string& path : {cases.reference.string(), options.base}) {
            if (path.empty())
                continue;
            const std::optional<std::string> bytes = ReadBytes(path);
            if (!bytes) {
                problems.push_back(path + ": cannot read it to leave out what it shares");
                continue;
            }
            excluded.push_back(Fingerprint(*bytes));
        }
        klass.pairs = FindSimilar(prints, excluded, options.threshold);
    }
    klass.problems = std::move(problems);
    return klass;
}

} // namespace wren::grade
