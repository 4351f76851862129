// A terminal on Linux takes the program's UTF-8 bytes as they are: no stream
// is a console that needs characters instead.

#include "text/console_text.h"

namespace vesko::text {

bool stream_is_console(std::FILE*) { return false; }

void write_console(std::FILE*, std::u16string_view) {}

}  // namespace vesko::text
