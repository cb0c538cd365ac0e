// A temporary folder for tests, removed with everything in it at the end.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kesto-test-XXXXXX").string();
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    // Only the process that made the folder removes it: a forked child that ends through exit()
    // runs the destructors of its copy too.
    ~ScratchFolder() {
        std::error_code ignored;
        if (!path_.empty() && getpid() == owner_) std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string path(const std::string& name) const { return path_ + "/" + name; }
    const std::string& folder() const { return path_; }
    // Writes the bytes as given and returns the file's path.
    std::string write(const std::string& name, const std::string& text) const {
        std::ofstream(path(name), std::ios::binary) << text;
        return path(name);
    }
    std::string read(const std::string& name) const {
        std::ifstream file(path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }

private:
    std::string path_;
    pid_t owner_ = getpid();
};
