// The preparer's log, formatted in memory and written with fwrite: some C libraries, Wine's among
// them, write at once on every fprintf call, whatever buffer the stream has.
#include "tarvex.h"

#include <cstdarg>

void log_text(std::FILE* log, const char* format, ...)
{
    char text[1024];
    std::va_list arguments;
    va_start(arguments, format);
    std::va_list again;
    va_copy(again, arguments);
    int length = std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    if (length >= int(sizeof text)) {
        std::string longer(size_t(length) + 1, '\0');
        std::vsnprintf(longer.data(), longer.size(), format, again);
        std::fwrite(longer.data(), 1, size_t(length), log);
    } else if (length > 0) {
        std::fwrite(text, 1, size_t(length), log);
    }
    va_end(again);
}
