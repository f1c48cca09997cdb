// The preparer's log on its way to the stream.
#include "tarvex.h"

void write_log(std::FILE* log, std::string& gathered)
{
    std::fwrite(gathered.data(), 1, gathered.size(), log);
    gathered.clear();
}
