// tarvex inputname outputname: prepares a collision file from a polygon text.
#include "tarvex.h"

int main(int argc, char** argv)
{
    return run_tarvex(argc, argv, stdout);
}
