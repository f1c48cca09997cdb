// The collision imager: a collision file rendered into a picture, one colour per polygon.
#pragma once

#include "collision_file.h"
#include "picture.h"

#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

constexpr int IMAGE_SIDE = WORKING_SIDE;  // pixels per side, one per world unit of the working area

// The whole tool: the log goes to `log`, reasons for people to `errors`. Returns the exit status.
int run_mirolt(int argc, char** argv, std::FILE* log, std::FILE* errors);
