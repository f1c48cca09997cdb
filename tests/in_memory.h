// The preparer's passes run in memory, their logs captured, for tests and benchmarks.
#pragma once

#include "passes.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What a pass left: its success, its log, its records and its error line or warnings.
struct pass_result {
    bool ok = false;
    std::string log;
    std::vector<uint8_t> bytes;
    std::string error;
    std::vector<warning> warnings;
};

pass_result run_pass_one(std::string_view text);
pass_result run_pass_two(std::vector<uint8_t> records);

// Both passes; the calling test fails if the text is not accepted.
std::vector<uint8_t> prepare(std::string_view text);
