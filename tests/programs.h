// The built programs under test.
#pragma once

#include <string>

inline const std::string TARVEX = TARVEX_PATH;
inline const std::string MIROLT = MIROLT_PATH;
inline const std::string SINETABLE = SINETABLE_PATH;
