#include "platform/terminal.h"

#include <io.h>

namespace vesko::platform {

bool is_terminal(std::FILE* stream) {
    if (stream == nullptr) return false;
    return _isatty(_fileno(stream)) != 0;
}

}  // namespace vesko::platform
