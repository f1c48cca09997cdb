/* The engines' reader compiled as C, as a game compiles it: the library that the tests and the fuzz
   target link. */
#define COLLISION_READER_IMPLEMENTATION
#include "collision_reader.h"
