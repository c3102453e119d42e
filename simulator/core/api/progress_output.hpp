// Where the simulator's progress text goes: standard output, a file, or
// nowhere. Every operation that reports progress writes through this.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace velquin::sim {

class ProgressOutput {
public:
    enum class Device { StandardOutput, File, None };

    ProgressOutput() = default;

    void to_standard_output();
    // Opens `path` for writing; `append` keeps what the file already holds.
    // Returns false (and leaves the current device unchanged) when the file
    // cannot be opened.
    bool to_file(const std::filesystem::path& path, bool append);
    void to_nowhere();

    Device device() const { return device_; }
    const std::filesystem::path& file_path() const { return path_; }

    // Writes text as given; callers end their lines themselves.
    void write(std::string_view text);
    void write_line(std::string_view text);
    void flush();

private:
    struct FileCloser {
        void operator()(std::FILE* f) const {
            if (f != nullptr) std::fclose(f);
        }
    };
    Device device_ = Device::StandardOutput;
    std::filesystem::path path_;
    std::unique_ptr<std::FILE, FileCloser> file_;
};

}  // namespace velquin::sim
