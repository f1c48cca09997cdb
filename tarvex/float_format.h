// The text that printf's "%f" gives a float, made without printf's multi-precision arithmetic: the
// edge log prints thirteen of them per edge, and printf spent most of a large run on them.
#pragma once

#include <cstddef>

struct float_text {
    char text[48];  // "-340282346638528859811704183484516925440.000000" and its NUL
    size_t size;    // characters before the NUL
};

// Six decimals, rounded half to even from the exact binary value, a minus sign for every negative
// value, minus zero included: the same characters as printf("%f", double(value)).
float_text format_f(float value);
