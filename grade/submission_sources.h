#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace wren::grade {

/// The program files of a class, and what could not be taken.
struct Submissions {
    std::vector<std::string> files;
    std::vector<std::string> problems; ///< each names the input and why
};

/// Expands the submission arguments: a folder gives the .ram files in it
/// (sorted), "@LIST" the files LIST names (one a line, relative to LIST's
/// folder; blank lines and lines starting with # aside), a .zip archive its
/// .ram entries (unpacked under scratch; an entry whose path would leave
/// the archive is refused), and any other argument is a file itself.
Submissions CollectSubmissions(const std::vector<std::string>& args,
                               const std::filesystem::path& scratch);

/// Writes text to path through a file beside it that is renamed into
/// place, so that a run that fails leaves the older file as it was; false,
/// with the reason on standard error, when it cannot.
bool WriteAtomically(const std::filesystem::path& path, const std::string& text);

} // namespace wren::grade
