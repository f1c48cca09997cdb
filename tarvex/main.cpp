// tarvex [options] inputname outputname: prepares a collision file from polygon text or a map.
#include "command_line.h"
#include "platform.h"
#include "tarvex.h"

int main(int argc, char** argv)
{
    std::vector<char*> args = start_tool(argc, argv);
    return finish_tool("tarvex", run_tarvex(int(args.size()), args.data(), stdout, stderr), stdout, stderr);
}
