// A fresh temporary folder per test, removed with everything in it afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <unistd.h>

namespace velmora::test {

class TempFolder {
public:
    TempFolder() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base && *base ? base : "/tmp") + "/velmora-settings-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            ADD_FAILURE() << "mkdtemp failed for " << pattern;
        }
        path_ = pattern;
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder() {
        namespace fs = std::filesystem;
        std::error_code error;
        // Tests make folders read-only; open them up again so they can be removed.
        for (auto it = fs::recursive_directory_iterator(path_, error);
             !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
            if (it->is_directory(error) && !it->is_symlink(error)) {
                fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
            }
        }
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, error);
        fs::remove_all(path_, error);
    }

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Names a parameterised test after its row's `name`.
struct RowName {
    template <class Row>
    std::string operator()(const testing::TestParamInfo<Row>& row) const {
        return row.param.name;
    }
};

inline bool IsRoot() {
    return ::geteuid() == 0;
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    ASSERT_TRUE(out.good()) << "cannot prepare " << path;
}

// The file's bytes, or nothing when it cannot be opened.
inline std::optional<std::string> ReadBytes(const std::string& path) {
    std::error_code error;
    std::ifstream in(path, std::ios::binary);
    if (!std::filesystem::is_regular_file(path, error) || !in) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace velmora::test
