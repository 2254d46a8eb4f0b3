#pragma once

#include "class_report.h"

#include <functional>
#include <string>
#include <vector>

namespace wren::grade {

/// One report file name per submission: the file's name without its
/// extension; where two share one, the folders above each go in front until
/// they differ (alice_hw1, bob_hw1).
std::vector<std::string> ReportNames(const std::vector<std::string>& files);

struct ClassOptions {
    bool classReport = false; ///< grade the model answer too, and read the texts
    bool similarity = false;
    double threshold = 0.6;
    std::string base; ///< a starter program, whose fingerprints are no sign of copying
    unsigned threads = 1;
    /// Told after each batch of submissions graded: how many of how many.
    std::function<void(std::size_t, std::size_t)> progress;
};

/// Grades files as one class, reading each once: a file that cannot be
/// graded (it cannot be read, or it is not text: it holds NUL bytes) is
/// named among the problems (which come in with what collecting the files
/// found) and scores nothing; two files under one name are named too. The
/// same for wren-grade and the page.
ClassInput BuildClass(const CaseFile& cases, const std::vector<std::string>& files,
                      std::uint64_t seed, const ClassOptions& options,
                      std::vector<std::string> problems);

} // namespace wren::grade
