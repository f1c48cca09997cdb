// mirolt inputname outputname: renders a collision file into a picture.
#include "mirolt.h"
#include "command_line.h"
#include "platform.h"

int main(int argc, char** argv)
{
    std::vector<char*> args = start_tool(argc, argv);
    return finish_tool("mirolt", run_mirolt(int(args.size()), args.data(), stdout, stderr), stdout, stderr);
}
