// sinetable outputname: writes the 256-entry sine table.
#include "sinetable.h"

int main(int argc, char** argv)
{
    return run_sinetable(argc, argv, stdout);
}
