#include "platform/terminal.h"

#include <unistd.h>

namespace vesko::platform {

bool is_terminal(std::FILE* stream) {
    if (stream == nullptr) return false;
    return ::isatty(::fileno(stream)) != 0;
}

}  // namespace vesko::platform
