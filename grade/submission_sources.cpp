#include "submission_sources.h"

#include <zip.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string_view>
#include <unistd.h>

namespace wren::grade {

namespace fs = std::filesystem;

namespace {

// Whether path ends in ext (".ram"), in any case.
bool HasExtension(const fs::path& path, std::string_view ext) {
    std::string own = path.extension().string();
    std::transform(own.begin(), own.end(), own.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return own == ext;
}

bool IsProgram(const fs::path& path) { return HasExtension(path, ".ram"); }

// An entry's path, if it stays inside the archive: relative, no "..", no
// backslashes (which some unpackers take for folders).
bool StaysInside(const std::string& name) {
    if (name.empty() || name.front() == '/' || name.find('\\') != std::string::npos ||
        name.find(':') != std::string::npos)
        return false;
    for (const auto& part : fs::path(name))
        if (part == "..")
            return false;
    return true;
}

void FromZip(const std::string& archive, const fs::path& scratch, Submissions& out) {
    int error = 0;
    std::unique_ptr<zip_t, decltype(&zip_close)> zip(zip_open(archive.c_str(), ZIP_RDONLY, &error),
                                                     &zip_close);
    if (!zip) {
        zip_error_t why;
        zip_error_init_with_code(&why, error);
        out.problems.push_back(archive + ": cannot open the archive: " + zip_error_strerror(&why));
        zip_error_fini(&why);
        return;
    }
    const fs::path into = scratch / fs::path(archive).stem();
    const zip_int64_t count = zip_get_num_entries(zip.get(), 0);
    std::vector<std::string> found;
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* raw = zip_get_name(zip.get(), static_cast<zip_uint64_t>(i), 0);
        const std::string name = raw ? raw : "";
        if (name.empty() || name.back() == '/' || name.starts_with("__MACOSX/"))
            continue;
        if (!StaysInside(name)) {
            out.problems.push_back(archive + ": entry '" + name +
                                   "' names a path outside the archive: not read");
            continue;
        }
        if (!IsProgram(name))
            continue;
        std::unique_ptr<zip_file_t, decltype(&zip_fclose)> file(
            zip_fopen_index(zip.get(), static_cast<zip_uint64_t>(i), 0), &zip_fclose);
        std::string bytes;
        char buffer[65536];
        zip_int64_t n = 0;
        while (file && (n = zip_fread(file.get(), buffer, sizeof buffer)) > 0)
            bytes.append(buffer, static_cast<std::size_t>(n));
        if (!file || n < 0) {
            out.problems.push_back(archive + ": entry '" + name + "' cannot be read");
            continue;
        }
        const fs::path target = into / name;
        std::error_code ec;
        fs::create_directories(target.parent_path(), ec);
        std::ofstream(target, std::ios::binary) << bytes;
        found.push_back(target.string());
    }
    if (found.empty())
        out.problems.push_back(archive + ": the archive holds no .ram file");
    std::sort(found.begin(), found.end());
    out.files.insert(out.files.end(), found.begin(), found.end());
}

} // namespace

Submissions CollectSubmissions(const std::vector<std::string>& args, const fs::path& scratch) {
    Submissions out;
    for (const std::string& arg : args) {
        std::error_code ec;
        if (arg.starts_with("@")) {
            const fs::path list = arg.substr(1);
            std::ifstream in(list);
            if (!in) {
                out.problems.push_back(list.string() + ": cannot read the list of submissions");
                continue;
            }
            std::string line;
            while (std::getline(in, line)) {
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                if (line.empty() || line.starts_with('#'))
                    continue;
                const fs::path file =
                    fs::path(line).is_absolute() ? fs::path(line) : list.parent_path() / line;
                out.files.push_back(file.string());
            }
        } else if (fs::is_directory(arg, ec)) {
            std::vector<std::string> found;
            // A link is taken as it is named: one that points nowhere is then
            // named as a file that cannot be read, not passed over.
            for (const auto& entry : fs::directory_iterator(arg, ec))
                if ((entry.is_regular_file(ec) || entry.is_symlink(ec)) && IsProgram(entry.path()))
                    found.push_back(entry.path().string());
            if (found.empty())
                out.problems.push_back(arg + ": the folder holds no .ram file");
            std::sort(found.begin(), found.end());
            out.files.insert(out.files.end(), found.begin(), found.end());
        } else if (HasExtension(arg, ".zip")) {
            FromZip(arg, scratch, out);
        } else {
            out.files.push_back(arg);
        }
    }
    return out;
}

bool WriteAtomically(const fs::path& path, const std::string& text) {
    const fs::path partial = path.string() + ".partial-" + std::to_string(getpid());
    {
        std::ofstream out(partial, std::ios::binary);
        out << text;
        out.close();
        if (!out) {
            std::error_code ec;
            fs::remove(partial, ec);
            std::cerr << "wren-grade: cannot write " << path.string() << "\n";
            return false;
        }
    }
    std::error_code ec;
    fs::rename(partial, path, ec);
    if (ec) {
        fs::remove(partial, ec);
        std::cerr << "wren-grade: cannot write " << path.string() << ": " << ec.message() << "\n";
        return false;
    }
    return true;
}

} // namespace wren::grade
