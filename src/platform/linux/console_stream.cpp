// A terminal on Linux takes the program's UTF-8 bytes as they are: no stream
// is a console that needs characters instead.

#include "platform/console_text.h"

namespace vesko::platform {

bool stream_is_console(std::FILE*) { return false; }

void write_console(std::FILE*, std::u16string_view) {}

}  // namespace vesko::platform
