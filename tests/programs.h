// The built programs under test and the 10 x 10 square that many of their tests use.
#pragma once

#include <string>

inline const std::string TARVEX = TARVEX_PATH;
inline const std::string MIROLT = MIROLT_PATH;
inline const std::string SINETABLE = SINETABLE_PATH;

// (0,0) -> (0,10) -> (10,10) -> (10,0) -> (0,0) as polygon text, and the collision file made of it.
inline const std::string SQUARE_TEXT = "newpolygon\r\n0,0\r\n0,10\r\n10,10\r\n10,0\r\n0,0\r\nendpolygon\r\n";
inline const char* const SQUARE_FILE = "0028 0001"
                                       "00000000 0000 0100"
                                       "00000A00 FF00 0000"
                                       "00000A00 0000 FF00"
                                       "00000000 0100 0000"
                                       "80808080 8F8F8F8F";
