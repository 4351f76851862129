#pragma once

// What the scripted device stack's replacement DLLs ask the stack's host over
// its control pipe, and how requests and replies are laid out: a message of
// 32-bit little-endian words and UTF-16 texts, each text its length in units
// followed by the units. One request, one reply; a reply starts with a word
// that is 1 when the host knows the answer and 0 when the query fails.
//
// Header only, with no Windows header: the DLLs and the host both include it.

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace vesko::devstack {

// The environment variable that names the control pipe for the program the
// host starts; without it the replacement DLLs find no device at all.
inline constexpr const wchar_t* kPipeVariable = L"ROTABENCH_DEVSTACK_PIPE";

enum class Op : std::uint32_t {
    HidInterfaces = 1,  // -> count, then per interface: detail ok, pipe path, node
    NodesUnder,         // text enumerator -> count, then nodes (present nodes whose ID starts with it)
    Parent,             // node -> node
    DeviceId,           // node -> text (the ID as the 200-unit query leaves it)
    LocationPaths,      // node -> text (the whole property value)
    HidDevice,          // pipe name as the file system gives it -> vendor, product, version, serial text
    Misuse,             // text: a call refused for its arguments; no reply data
    Ledger,             // text what, count: a resource count at process exit; no reply data
};

class Writer {
public:
    Writer& word(std::uint32_t value) {
        char bytes[4];
        std::memcpy(bytes, &value, 4);
        data_.append(bytes, 4);
        return *this;
    }
    Writer& op(Op value) { return word(static_cast<std::uint32_t>(value)); }
    Writer& text(std::u16string_view value) {
        word(static_cast<std::uint32_t>(value.size()));
        data_.append(reinterpret_cast<const char*>(value.data()), value.size() * sizeof(char16_t));
        return *this;
    }
    const std::string& bytes() const { return data_; }

private:
    std::string data_;
};

// Reads a message front to back; a read past the end leaves ok() false and
// yields zeros and empty texts from then on.
class Reader {
public:
    explicit Reader(std::string_view bytes) : data_(bytes) {}

    std::uint32_t word() {
        if (!ok_ || data_.size() - pos_ < 4) return fail(), 0;
        std::uint32_t value = 0;
        std::memcpy(&value, data_.data() + pos_, 4);
        pos_ += 4;
        return value;
    }
    std::u16string text() {
        const std::uint32_t units = word();
        if (!ok_ || (data_.size() - pos_) / sizeof(char16_t) < units) return fail(), std::u16string();
        std::u16string value(units, u'\0');
        std::memcpy(value.data(), data_.data() + pos_, units * sizeof(char16_t));
        pos_ += units * sizeof(char16_t);
        return value;
    }
    bool ok() const { return ok_; }

private:
    void fail() { ok_ = false; }

    std::string_view data_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

}  // namespace vesko::devstack
