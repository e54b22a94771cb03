// Temporary folders of files for the suites, and reading files back.
#ifndef OMBRA_TESTS_SUPPORT_TEMPFOLDER_H
#define OMBRA_TESTS_SUPPORT_TEMPFOLDER_H

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace ombra_test {

/// A temporary folder, removed with everything in it at the end; open to
/// every user, so that runs as another user can work in it.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "ombra-XXXXXX").string();
        if (::mkdtemp(&pattern[0])) path_ = pattern;
        ::chmod(path_.c_str(), 0777);
    }
    ~TempFolder() {
        namespace fs = std::filesystem;
        std::error_code ignored;
        if (path_.empty()) return;
        // Folders made unreadable by a test are opened again first.
        for (auto it = fs::recursive_directory_iterator(path_, ignored);
             it != fs::recursive_directory_iterator(); it.increment(ignored))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path_; }
    /// The path of name inside the folder.
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    /// Writes a file (making its folders) and returns its path.
    std::string Write(const std::string& name, const std::string& content) const {
        std::filesystem::path file = std::filesystem::path(path_) / name;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << content;
        return file.string();
    }
    /// The names in the folder (not in sub-folders), sorted.
    std::vector<std::string> Names(const std::string& sub = "") const {
        std::vector<std::string> names;
        std::error_code ignored;
        for (const auto& entry :
             std::filesystem::directory_iterator(std::filesystem::path(path_) / sub, ignored))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::string path_;
};

/// The whole content of a file ("" when it cannot be read).
inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace ombra_test

#endif
