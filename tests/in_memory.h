// The preparer's passes run in memory, their streams captured, for tests and benchmarks.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What a pass left: its success, its log, its output bytes and its error line.
struct pass_result {
    bool ok = false;
    std::string log;
    std::vector<uint8_t> bytes;
    std::string error;
};

pass_result run_pass_one(std::string_view text);
pass_result run_pass_two(std::vector<uint8_t> intermediate);

// Both passes; the calling test fails if the text is not accepted.
std::vector<uint8_t> prepare(std::string_view text);
