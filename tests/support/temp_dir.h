// A fresh folder under the system's temporary folder, removed with the object.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace testsupport {

class TempDir {
public:
    TempDir() : dir_((std::filesystem::temp_directory_path() / "orvtest-XXXXXX").string()) {
        if (mkdtemp(dir_.data()) == nullptr) {
            throw std::filesystem::filesystem_error("mkdtemp", dir_, std::error_code());
        }
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    TempDir(const TempDir&) = delete;

    std::string path(const std::string& name) const { return dir_ + "/" + name; }

private:
    std::string dir_;
};

}  // namespace testsupport
