// Encoding of single values and records: little-endian fixed-width numbers,
// doubles as their eight bytes, length-prefixed strings and lists, tagged
// variant values. The reader checks every length against the bytes that
// remain before it allocates, so a damaged or hostile file cannot make it
// read out of bounds or reserve absurd amounts of memory.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "casefile/case_file.hpp"
#include "casefile/case_layout.hpp"

// The per-value copies must inline into the record loops; GCC otherwise
// keeps them out of line once the record functions grow.
#if defined(__GNUC__)
#define VELQUIN_CASEFILE_INLINE [[gnu::always_inline]] inline
#elif defined(_MSC_VER)
#define VELQUIN_CASEFILE_INLINE __forceinline
#else
#define VELQUIN_CASEFILE_INLINE inline
#endif

namespace velquin::sim::casefile {

static_assert(std::endian::native == std::endian::little,
              "saved-case files are little-endian; a big-endian build needs byte swapping here");
static_assert(sizeof(int) == 4 && sizeof(long long) == 8 && sizeof(double) == 8);
static_assert(std::numeric_limits<double>::is_iec559);

// Nesting of AuxRecord groups allowed in a file. Real records nest two
// levels; the limit keeps a crafted file from exhausting the stack.
inline constexpr int kMaxAuxRecordDepth = 16;

// Tags of FieldValue alternatives, in variant order.
enum class ValueTag : std::uint8_t { kEmpty = 0, kInteger = 1, kReal = 2, kText = 3 };

// Appends to a buffer it owns. Values are stored with fixed-size copies
// into spare capacity, which the compiler turns into plain stores.
class RecordWriter {
public:
    explicit RecordWriter(std::size_t expected_size) {
        buffer_.resize(std::max<std::size_t>(expected_size, 64));
    }

    template <class... Ts>
    void operator()(const Ts&... values) {
        (put(values), ...);
    }

    void put(int v) { raw(&v, sizeof v); }
    void put(long long v) { raw(&v, sizeof v); }
    void put(double v) { raw(&v, sizeof v); }
    void put(std::uint8_t v) { raw(&v, sizeof v); }
    void put(std::uint16_t v) { raw(&v, sizeof v); }
    void put(std::uint32_t v) { raw(&v, sizeof v); }
    void put(std::uint64_t v) { raw(&v, sizeof v); }
    void put(const Complex& v) {
        put(v.real());
        put(v.imag());
    }
    void put(const std::string& s) {
        put(count_of(s.size(), "a text"));
        raw(s.data(), s.size());
    }
    template <class T, std::size_t N>
    void put(const std::array<T, N>& a) {
        for (const T& e : a) put(e);
    }
    template <class T>
    void put(const std::vector<T>& list) {
        put(count_of(list.size(), "a list"));
        for (const T& e : list) put(e);
    }
    void put(const FieldValue& value);
    void put(const AuxRecord& record) { put_aux(record, 1); }
    template <class T>
    requires std::is_class_v<T>
    void put(const T& record) { visit_fields(*this, record); }

    VELQUIN_CASEFILE_INLINE void raw(const void* data, std::size_t size) {
        if (size > buffer_.size() - used_) grow(size);
        std::memcpy(buffer_.data() + used_, data, size);
        used_ += size;
    }

    std::size_t size() const { return used_; }
    // Overwrites a value written earlier (a length known only afterwards).
    template <class T>
    void patch(std::size_t at, T v) {
        std::memcpy(buffer_.data() + at, &v, sizeof v);
    }
    std::string take() && {
        buffer_.resize(used_);
        return std::move(buffer_);
    }

private:
    static std::uint32_t count_of(std::size_t n, const char* what);
    void put_aux(const AuxRecord& record, int depth);
    void grow(std::size_t size) { buffer_.resize(std::max(buffer_.size() * 2, used_ + size)); }

    std::string buffer_;
    std::size_t used_ = 0;
};

// Reads one section's body. Errors name the section through `context`
// ("<source>: corrupted (section buses").
class RecordReader {
public:
    RecordReader(std::string_view bytes, std::string context)
        : p_(bytes.data()), end_(p_ + bytes.size()), context_(std::move(context)) {}

    template <class... Ts>
    void operator()(Ts&... values) {
        (get(values), ...);
    }

    void get(int& v) { raw(&v, sizeof v); }
    void get(long long& v) { raw(&v, sizeof v); }
    void get(double& v) { raw(&v, sizeof v); }
    void get(std::uint8_t& v) { raw(&v, sizeof v); }
    void get(std::uint32_t& v) { raw(&v, sizeof v); }
    void get(Complex& v) {
        double re = 0.0;
        double im = 0.0;
        get(re);
        get(im);
        v = Complex(re, im);
    }
    void get(std::string& s) {
        std::uint32_t n = 0;
        get(n);
        if (n > remaining()) fail("a text of " + std::to_string(n) + " bytes runs past the end");
        s.assign(p_, n);
        p_ += n;
    }
    template <class T, std::size_t N>
    void get(std::array<T, N>& a) {
        for (T& e : a) get(e);
    }
    template <class T>
    void get(std::vector<T>& list) {
        std::uint32_t n = 0;
        get(n);
        // Every element takes at least min_encoded_size bytes, so a count
        // the remaining bytes cannot hold is rejected before allocating.
        if (n > remaining() / min_encoded_size<T>())
            fail("a list of " + std::to_string(n) + " elements cannot fit in the remaining " +
                 std::to_string(remaining()) + " bytes");
        list.clear();
        list.resize(n);
        for (T& e : list) get(e);
    }
    void get(FieldValue& value);
    void get(AuxRecord& record) { get_aux(record, 1); }
    template <class T>
    requires std::is_class_v<T>
    void get(T& record) { visit_fields(*this, record); }

    VELQUIN_CASEFILE_INLINE void raw(void* data, std::size_t size) {
        if (size > remaining()) fail("a value runs past the end");
        std::memcpy(data, p_, size);
        p_ += size;
    }

    std::size_t remaining() const { return static_cast<std::size_t>(end_ - p_); }
    [[noreturn]] void fail(const std::string& what) const;

    // Smallest number of bytes one encoded T can take.
    template <class T>
    static std::size_t min_encoded_size();

private:
    void get_aux(AuxRecord& record, int depth);

    const char* p_;
    const char* end_;
    std::string context_;
};

// Adds up the smallest encoding of each field of a record.
class MinSizeCounter {
public:
    template <class... Ts>
    void operator()(const Ts&... values) {
        (add(values), ...);
    }
    void add(int) { size += 4; }
    void add(long long) { size += 8; }
    void add(double) { size += 8; }
    void add(const Complex&) { size += 16; }
    void add(const std::string&) { size += 4; }
    template <class T, std::size_t N>
    void add(const std::array<T, N>& a) {
        for (const T& e : a) add(e);
    }
    template <class T>
    void add(const std::vector<T>&) {
        size += 4;
    }
    void add(const FieldValue&) { size += 1; }
    void add(const AuxRecord&) { size += 8; }  // two empty lists
    template <class T>
    requires std::is_class_v<T>
    void add(const T& record) { visit_fields(*this, record); }

    std::size_t size = 0;
};

template <class T>
std::size_t RecordReader::min_encoded_size() {
    static const std::size_t size = [] {
        MinSizeCounter counter;
        counter.add(T{});
        return counter.size == 0 ? std::size_t{1} : counter.size;
    }();
    return size;
}

}  // namespace velquin::sim::casefile
