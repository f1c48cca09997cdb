// mirolt inputname outputname: renders a collision file into a TGA picture.
#include "mirolt.h"

int main(int argc, char** argv)
{
    return run_mirolt(argc, argv, stdout);
}
