// A runtime folder of the test process's own, so that windows serve their control socket there.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace velmora::test {

// Points XDG_RUNTIME_DIR at a fresh folder for the life of the object:
// tests running side by side never meet at one socket, and the user's own
// runtime folder is left alone.
class PrivateRuntimeFolder {
public:
    PrivateRuntimeFolder() {
        char name[] = "/tmp/velmora-test-runtime-XXXXXX";
        if (mkdtemp(name) != nullptr) {
            path_ = name;
            setenv("XDG_RUNTIME_DIR", name, 1);
        }
    }
    ~PrivateRuntimeFolder() {
        std::error_code ignored;
        if (!path_.empty()) {
            std::filesystem::remove_all(path_, ignored);
        }
    }
    PrivateRuntimeFolder(const PrivateRuntimeFolder&) = delete;
    PrivateRuntimeFolder& operator=(const PrivateRuntimeFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

} // namespace velmora::test
