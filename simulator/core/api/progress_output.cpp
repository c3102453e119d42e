#include "api/progress_output.hpp"

#include <iostream>

namespace velquin::sim {

void ProgressOutput::to_standard_output() {
    file_.reset();
    path_.clear();
    device_ = Device::StandardOutput;
}

bool ProgressOutput::to_file(const std::filesystem::path& path, bool append) {
    std::unique_ptr<std::FILE, FileCloser> opened(std::fopen(path.c_str(), append ? "a" : "w"));
    if (!opened) return false;
    file_ = std::move(opened);
    path_ = path;
    device_ = Device::File;
    return true;
}

void ProgressOutput::to_nowhere() {
    file_.reset();
    path_.clear();
    device_ = Device::None;
}

void ProgressOutput::write(std::string_view text) {
    switch (device_) {
        case Device::StandardOutput:
            std::cout.write(text.data(), static_cast<std::streamsize>(text.size()));
            break;
        case Device::File:
            std::fwrite(text.data(), 1, text.size(), file_.get());
            break;
        case Device::None:
            break;
    }
}

void ProgressOutput::write_line(std::string_view text) {
    write(text);
    write("\n");
}

void ProgressOutput::flush() {
    if (device_ == Device::StandardOutput) std::cout.flush();
    if (device_ == Device::File) std::fflush(file_.get());
}

}  // namespace velquin::sim
