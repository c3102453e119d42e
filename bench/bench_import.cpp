// Import speed of the largest public networks. The baseline, measured in
// the same process on the same file, reads the file's bytes and counts its
// lines: the least any reader has to do.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "formats/matpower_format.hpp"
#include "formats/raw_format.hpp"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;
using namespace velquin::sim;

struct Timing {
    double min, median, max;
};

Timing measure(int runs, const std::function<std::size_t()>& work, std::size_t& sink) {
    std::vector<double> seconds(static_cast<std::size_t>(runs), 0.0);
    for (double& elapsed : seconds) {
        const auto start = Clock::now();
        sink += work();
        elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    }
    std::sort(seconds.begin(), seconds.end());
    const std::size_t n = seconds.size();
    return {seconds[0], seconds[n / 2], seconds[n - 1]};
}

std::string read_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

void report(const char* what, double megabytes, const Timing& t) {
    std::printf("  %-22s min %8.4f s  median %8.4f s  max %8.4f s  %8.1f MB/s\n", what, t.min, t.median,
                t.max, megabytes / t.median);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    const fs::path data(VELQUIN_DATA_DIR);
    struct Input {
        fs::path path;
        bool raw;
    };
    const Input inputs[] = {
        {data / "matpower" / "case_ACTIVSg10k.m", false},
        {data / "matpower" / "case9241pegase.m", false},
        {data / "raw" / "ACTIVSg2000_rename.raw", true},
    };
    std::size_t sink = 0;
    std::printf("import speed, %d runs each (median decides MB/s)\n", runs);
    for (const Input& input : inputs) {
        const double megabytes = static_cast<double>(fs::file_size(input.path)) / 1.0e6;
        std::printf("%s (%.2f MB)\n", input.path.filename().c_str(), megabytes);
        const Timing baseline = measure(
            runs,
            [&] {
                const std::string bytes = read_bytes(input.path);
                return static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
            },
            sink);
        const Timing import = measure(
            runs,
            [&] {
                const Case c = input.raw ? read_raw_file(input.path) : read_matpower_file(input.path);
                return c.buses.size();
            },
            sink);
        report("read bytes + count", megabytes, baseline);
        report("import", megabytes, import);
        std::printf("  import / baseline (median): %.1f\n", import.median / baseline.median);
        if (input.raw) {
            const Case c = read_raw_file(input.path);
            const Timing write = measure(
                runs, [&] { return format_raw(c, 34).size(); }, sink);
            report("format as RAW 34", megabytes, write);
        }
    }
    std::printf("(checksum %zu)\n", sink);
    return 0;
}
