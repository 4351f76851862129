#include "text/console_text.h"

#include <cerrno>
#include <cstdint>
#include <mutex>
#include <vector>

#include "text/lost_output.h"

namespace vesko::text {
namespace {

constexpr char16_t kReplacement = u'\xFFFD';

// The UTF-16 form of the whole characters at the start of `bytes`; `*used`
// is how many bytes they took (the rest is a character not yet complete).
std::u16string whole_characters(std::string_view bytes, std::size_t* used) {
    std::u16string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            out.push_back(static_cast<char16_t>(lead));
            ++i;
            continue;
        }
        // The character's length in bytes, the value bits of its first byte,
        // and the least value that needs that many bytes (less is overlong).
        std::size_t length = 4;
        std::uint32_t cp = lead & 0x07u;
        std::uint32_t least = 0x10000;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            cp = lead & 0x1Fu;
            least = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            cp = lead & 0x0Fu;
            least = 0x800;
        } else if (lead < 0xF0 || lead > 0xF4) {
            out.push_back(kReplacement);  // a continuation byte, or one no character begins with
            ++i;
            continue;
        }
        std::size_t k = 1;
        while (k < length && i + k < bytes.size() && (static_cast<unsigned char>(bytes[i + k]) & 0xC0u) == 0x80u) {
            cp = (cp << 6) | (static_cast<unsigned char>(bytes[i + k]) & 0x3Fu);
            ++k;
        }
        if (k < length && i + k == bytes.size()) break;  // the rest comes with the next piece
        if (k < length || cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out.push_back(kReplacement);
        } else if (cp >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FFu)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += k;
    }
    *used = i;
    return out;
}

// What each console stream has kept back, by stream.
struct ConsoleStream {
    std::FILE* file;
    Utf16Pieces pieces;
};

std::mutex console_mutex;
std::vector<ConsoleStream> console_streams;

}  // namespace

std::u16string Utf16Pieces::convert(std::string_view more) {
    kept_.append(more);
    std::size_t used = 0;
    std::u16string text = whole_characters(kept_, &used);
    kept_.erase(0, used);
    return text;
}

void write_text(std::FILE* file, std::string_view text) {
    if (file == nullptr) return;
    if (!stream_is_console(file)) {
        errno = 0;
        if (std::fwrite(text.data(), 1, text.size(), file) != text.size()) note_write_failure(file, errno);
        return;
    }
    const std::lock_guard<std::mutex> lock(console_mutex);
    if (std::fflush(file) != 0) note_write_failure(file, errno);  // what went through the C stream comes first
    ConsoleStream* stream = nullptr;
    for (ConsoleStream& s : console_streams) {
        if (s.file == file) stream = &s;
    }
    if (stream == nullptr) stream = &console_streams.emplace_back(ConsoleStream{file, {}});
    const std::u16string characters = stream->pieces.convert(text);
    if (!characters.empty()) write_console(file, characters);
}

}  // namespace vesko::text
