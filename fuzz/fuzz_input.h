#pragma once

// What the fuzz targets share: a check that stops the process when an
// invariant breaks, a cursor that reads a fuzz input front to back, and its
// mirror that writes inputs the same way (the seed generator uses it, so a
// seed says exactly what its bytes will build).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace vesko::fuzz {

// A broken invariant: say which, then abort so that libFuzzer keeps the input.
[[noreturn]] inline void check_failed(const char* what, const char* file, int line) {
    std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", what, file, line);
    std::abort();
}

#define FUZZ_CHECK(condition) \
    ((condition) ? static_cast<void>(0) : ::vesko::fuzz::check_failed(#condition, __FILE__, __LINE__))

// Reads the input from the front. Past its end every read gives zeros (an
// empty text), so a short input simply builds less.
class InputCursor {
public:
    InputCursor(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool done() const { return at_ == size_; }
    std::size_t left() const { return size_ - at_; }

    std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    bool flag() { return (byte() & 1) != 0; }
    std::uint16_t u16() {
        const std::uint16_t lo = byte();
        return static_cast<std::uint16_t>(lo | (byte() << 8));
    }
    std::uint32_t u32() {
        const std::uint32_t lo = u16();
        return lo | (static_cast<std::uint32_t>(u16()) << 16);
    }
    // 0 .. count-1, from one byte (count at most 256).
    std::size_t pick(std::size_t count) { return count == 0 ? 0 : byte() % count; }

    // Up to `count` raw bytes (fewer when the input ends).
    std::string_view bytes(std::size_t count) {
        if (count > left()) count = left();
        const std::string_view out(reinterpret_cast<const char*>(data_ + at_), count);
        at_ += count;
        return out;
    }
    // A length byte, then that many bytes.
    std::string_view short_text() { return bytes(byte()); }
    // A two-byte length (up to `limit`), then that many bytes.
    std::string_view long_text(std::size_t limit) { return bytes(u16() % (limit + 1)); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// Writes what InputCursor reads back, field for field.
class InputWriter {
public:
    void byte(std::uint8_t v) { out_.push_back(v); }
    void flag(bool v) { byte(v ? 1 : 0); }
    void u16(std::uint16_t v) {
        byte(static_cast<std::uint8_t>(v));
        byte(static_cast<std::uint8_t>(v >> 8));
    }
    void u32(std::uint32_t v) {
        u16(static_cast<std::uint16_t>(v));
        u16(static_cast<std::uint16_t>(v >> 16));
    }
    void bytes(std::string_view v) { out_.insert(out_.end(), v.begin(), v.end()); }
    void short_text(std::string_view v) {
        v = v.substr(0, 255);
        byte(static_cast<std::uint8_t>(v.size()));
        bytes(v);
    }
    void long_text(std::string_view v) {
        u16(static_cast<std::uint16_t>(v.size()));
        bytes(v);
    }
    const std::vector<std::uint8_t>& data() const { return out_; }

private:
    std::vector<std::uint8_t> out_;
};

// A stream that swallows what the code under test prints.
inline std::FILE* null_stream() {
    static std::FILE* const sink = std::fopen("/dev/null", "w");
    return sink;
}

}  // namespace vesko::fuzz
