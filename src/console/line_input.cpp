#include "console/line_input.h"

#include <cstdio>

namespace vesko {

bool read_line(std::string& line, const std::function<int()>& read_char) {
    line.clear();
    for (;;) {
        const int c = read_char();
        if (c == EOF) return !line.empty();
        if (c == '\n') return true;
        line.push_back(static_cast<char>(c));
    }
}

}  // namespace vesko
