#pragma once

// CapturedStream: a temporary FILE* whose text a test reads back.

#include <cstdio>
#include <string>

namespace vesko::test {

// A FILE* whose contents a test reads back; tmpfile() works on every platform
// this suite runs on.
class CapturedStream {
public:
    CapturedStream() : file_(std::tmpfile()) {}
    ~CapturedStream() {
        if (file_) std::fclose(file_);
    }
    CapturedStream(const CapturedStream&) = delete;
    CapturedStream& operator=(const CapturedStream&) = delete;

    std::FILE* get() const { return file_; }

    std::string text() const {
        std::fflush(file_);
        const long end = std::ftell(file_);
        std::string s(static_cast<std::size_t>(end < 0 ? 0 : end), '\0');
        std::rewind(file_);
        const std::size_t n = std::fread(s.data(), 1, s.size(), file_);
        s.resize(n);
        std::fseek(file_, 0, SEEK_END);
        return s;
    }

private:
    std::FILE* file_;
};

}  // namespace vesko::test
