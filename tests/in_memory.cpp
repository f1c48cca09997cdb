// In-memory runs of the preparer's passes.
#include "in_memory.h"

#include "support.h"

pass_result run_pass_one(std::string_view text)
{
    captured_stream log;
    polygon_text input = text_from_memory(text);
    pass_one_result first;
    pass_result result;
    result.ok = pass_one(input, log.file, first);
    result.log = log.text();
    result.bytes = std::move(first.records);
    const refusal& refused = first.refused;
    result.error = refused.has_place ? "Line " + std::to_string(refused.where.line) + ": " + refused.problem + "."
                                     : refused.problem;
    result.warnings = std::move(first.warnings.shown);
    return result;
}

pass_result run_pass_two(std::vector<uint8_t> records)
{
    captured_stream log;
    pass_result result;
    refusal refused;
    result.ok = pass_two(records, log.file, refused);
    result.error = refused.problem;
    result.log = log.text();
    result.bytes = std::move(records);
    return result;
}

std::vector<uint8_t> prepare(std::string_view text)
{
    pass_result first = run_pass_one(text);
    EXPECT_TRUE(first.ok) << first.error;
    pass_result second = run_pass_two(first.bytes);
    EXPECT_TRUE(second.ok) << second.error;
    return second.bytes;
}
