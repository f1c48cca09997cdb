// sinetable outputname: writes the 256-entry sine table.
#include "command_line.h"
#include "platform.h"
#include "sinetable.h"

int main(int argc, char** argv)
{
    std::vector<char*> args = start_tool(argc, argv);
    return finish_tool("sinetable", run_sinetable(int(args.size()), args.data(), stdout, stderr), stdout, stderr);
}
