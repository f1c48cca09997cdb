// The 10 x 10 square (0,0) -> (0,10) -> (10,10) -> (10,0) -> (0,0) that many tests use: its polygon
// text and the bytes made of it, spelled for hex().
#pragma once

#include <string>

inline const std::string SQUARE_TEXT = "newpolygon\r\n0,0\r\n0,10\r\n10,10\r\n10,0\r\n0,0\r\nendpolygon\r\n";
inline const std::string SQUARE_EDGES = "00000000 0000 0100"
                                        "00000A00 FF00 0000"
                                        "00000A00 0000 FF00"
                                        "00000000 0100 0000";
// the record as pass one leaves it, with a zero header word, and as the collision file holds it
inline const std::string SQUARE_RECORDS = "00000000" + SQUARE_EDGES + "80808080 8F8F8F8F";
inline const std::string SQUARE_RECORD = "0028 0001" + SQUARE_EDGES + "80808080";
inline const std::string SQUARE_FILE = SQUARE_RECORD + "8F8F8F8F";
