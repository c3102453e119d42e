// Saved-case file speed: encode, decode, save (with fsync) and open of a
// synthetic case the size of the largest networks we handle, and of the
// 10,000-bus MATPOWER case, each against a plain copy of the same number of
// bytes (memcpy in memory; write + fsync and read on disk) measured in the
// same process.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "casefile/case_file.hpp"
#include "formats/matpower_format.hpp"

namespace {

using namespace velquin::sim;
namespace fs = std::filesystem;

constexpr int kRuns = 15;

struct Timing {
    double min_ms = 0;
    double median_ms = 0;
    double max_ms = 0;
};

Timing measure(const std::function<void()>& action) {
    std::vector<double> ms;
    action();  // warm-up: page cache, allocator
    for (int k = 0; k < kRuns; ++k) {
        const auto start = std::chrono::steady_clock::now();
        action();
        const auto stop = std::chrono::steady_clock::now();
        ms.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
    }
    std::sort(ms.begin(), ms.end());
    return {ms.front(), ms[ms.size() / 2], ms.back()};
}

void report(const char* what, const Timing& t, std::size_t bytes, const Timing& baseline) {
    const double mb = static_cast<double>(bytes) / 1e6;
    std::printf("  %-24s min %8.3f  median %8.3f  max %8.3f ms  %8.1f MB/s  x%.1f of baseline\n", what,
                t.min_ms, t.median_ms, t.max_ms, mb / (t.median_ms / 1e3), t.median_ms / baseline.median_ms);
}

void report_baseline(const char* what, const Timing& t, std::size_t bytes) {
    const double mb = static_cast<double>(bytes) / 1e6;
    std::printf("  %-24s min %8.3f  median %8.3f  max %8.3f ms  %8.1f MB/s\n", what, t.min_ms, t.median_ms,
                t.max_ms, mb / (t.median_ms / 1e3));
}

// Elements at the scale of the largest network: 10,000 buses, 13,000
// lines, 2,500 machines, 4,000 loads, 3,000 transformers of which a tenth
// have three windings.
Case synthetic_case() {
    Case c;
    c.identification.title1 = "Synthetic case for the saved-case benchmark";
    const int buses = 10000;
    for (int k = 1; k <= buses; ++k) {
        Bus b;
        b.number = k;
        b.name = "BUS " + std::to_string(k);
        b.base_kv = k % 3 == 0 ? 345.0 : 138.0;
        b.area = 1 + k % 7;
        b.zone = 1 + k % 31;
        b.vm = 1.0 + 0.0001 * (k % 500);
        b.va_deg = -0.01 * k;
        c.buses.push_back(b);
    }
    for (int k = 0; k < 13000; ++k) {
        LineBranch l;
        l.from_bus = 1 + k % buses;
        l.to_bus = 1 + (k * 7 + 13) % buses;
        l.ckt = std::to_string(1 + k % 3);
        l.r = 0.001 * (1 + k % 17);
        l.x = 0.01 * (1 + k % 23);
        l.b = 0.02;
        l.ratings[0] = 100.0 + k % 400;
        l.name = "LINE " + std::to_string(k);
        c.lines.push_back(l);
    }
    for (int k = 0; k < 2500; ++k) {
        if (k % 5 != 4) {
            Plant p;
            p.bus = 1 + k * 4;
            p.scheduled_voltage = 1.02;
            c.plants.push_back(p);
        }
        Machine m;
        m.bus = 1 + (k - k % 5 + std::min(k % 5, 3)) * 4;
        m.id = std::to_string(1 + k % 5);
        m.pg = 50.0 + k % 300;
        m.qg = 10.0;
        m.name = "GEN " + std::to_string(k);
        c.machines.push_back(m);
    }
    for (int k = 0; k < 4000; ++k) {
        Load l;
        l.bus = 2 + (k * 3) % buses;
        l.constant_power = {20.0 + k % 50, 5.0};
        l.name = "LOAD " + std::to_string(k);
        c.loads.push_back(l);
    }
    for (int k = 0; k < 3000; ++k) {
        Transformer t;
        t.bus1 = 1 + (k * 11) % buses;
        t.bus2 = 1 + (k * 13 + 5) % buses;
        t.bus3 = k % 10 == 0 ? 1 + (k * 17 + 9) % buses : 0;
        t.impedance[0] = {.r = 0.002, .x = 0.08, .sbase = 100.0};
        t.windings[0].ratio = 1.0 + 0.00625 * (k % 16);
        t.windings[0].ratings[0] = 200.0;
        t.name = "XFMR " + std::to_string(k);
        c.transformers.push_back(t);
    }
    for (int k = 0; k < 1000; ++k) {
        FixedShunt s;
        s.bus = 1 + (k * 9) % buses;
        s.admittance = {0.0, 25.0};
        c.fixed_shunts.push_back(s);
    }
    for (int k = 0; k < 500; ++k) {
        SwitchedShunt s;
        s.bus = 1 + (k * 19) % buses;
        s.steps[0] = 3;
        s.mvar_per_step[0] = 15.0;
        c.switched_shunts.push_back(s);
    }
    for (int k = 1; k <= 7; ++k) c.areas.push_back(Area{k, k, 0.0, 10.0, "AREA " + std::to_string(k)});
    for (int k = 1; k <= 31; ++k) c.zones.push_back(Zone{k, "ZONE " + std::to_string(k)});
    return c;
}

void write_and_sync(const fs::path& path, const std::string& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) throw std::runtime_error("cannot write " + path.string());
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n <= 0) throw std::runtime_error("write failed");
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    ::fsync(fd);
    ::close(fd);
}

std::string read_plain(const fs::path& path) {
    std::string bytes(fs::file_size(path), '\0');
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) throw std::runtime_error("cannot read " + path.string());
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    if (got != bytes.size()) throw std::runtime_error("short read");
    return bytes;
}

void run(const char* title, const Case& c, const fs::path& folder) {
    const std::string bytes = encode_case(c);
    std::printf("%s: %zu buses, %zu lines, %zu transformers, %zu machines, %zu loads; file %.2f MB\n", title,
                c.buses.size(), c.lines.size(), c.transformers.size(), c.machines.size(), c.loads.size(),
                static_cast<double>(bytes.size()) / 1e6);
    if (!(decode_case(bytes, title) == c)) throw std::runtime_error("round trip changed the case");

    std::string copy(bytes.size(), '\0');
    const Timing memcpy_time = measure([&] {
        std::memcpy(copy.data(), bytes.data(), bytes.size());
        // Keeps the copy from being optimised away.
        if (copy[bytes.size() / 2] != bytes[bytes.size() / 2]) std::abort();
    });
    const fs::path plain = folder / "plain.bin";
    const fs::path saved = folder / "case.sav";
    const Timing write_time = measure([&] { write_and_sync(plain, bytes); });
    const Timing read_time = measure([&] { (void)read_plain(plain); });

    const Timing encode_time = measure([&] { (void)encode_case(c); });
    const Timing decode_time = measure([&] { (void)decode_case(bytes, title); });
    const Timing save_time = measure([&] { save_case_file(c, saved); });
    const Timing open_time = measure([&] { (void)load_case_file(saved); });

    report_baseline("baseline memcpy", memcpy_time, bytes.size());
    report_baseline("baseline write+fsync", write_time, bytes.size());
    report_baseline("baseline read", read_time, bytes.size());
    report("encode (vs memcpy)", encode_time, bytes.size(), memcpy_time);
    report("decode (vs memcpy)", decode_time, bytes.size(), memcpy_time);
    report("save (vs write+fsync)", save_time, bytes.size(), write_time);
    report("open (vs read)", open_time, bytes.size(), read_time);
}

}  // namespace

int main() {
    const fs::path folder =
        fs::temp_directory_path() / ("velquin-bench-case-file-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    int status = 0;
    try {
        run("synthetic", synthetic_case(), folder);
        const fs::path matpower = fs::path(VELQUIN_DATA_DIR) / "matpower" / "case_ACTIVSg10k.m";
        Case activs;
        bool have_activs = false;
        try {
            activs = read_matpower_file(matpower);
            have_activs = true;
        } catch (const std::exception& e) {
            std::printf("case_ACTIVSg10k: not measured (%s)\n", e.what());
        }
        if (have_activs) run("case_ACTIVSg10k", activs, folder);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_case_file: %s\n", e.what());
        status = 1;
    }
    fs::remove_all(folder);
    return status;
}
