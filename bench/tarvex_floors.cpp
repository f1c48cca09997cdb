// A whole preparer run against its floors, the least that any preparer must do with the same input
// and output: (a) read the text and parse every number, (b) produce the same log from its pieces,
// each float formatted exactly from its bits, written in 1 MiB blocks, and (c) write the collision
// file. It prints the run's time over the floors' sum:
//   tarvex_floors [POLYGONS]
// With "once", each is run once, for bench/tarvex_floors.sh to count their instructions.
#include "float_format.h"
#include "in_memory.h"
#include "random_polygons.h"
#include "support.h"
#include "tarvex.h"
#include "timing.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

constexpr size_t LOG_BLOCK = size_t(1) << 20;

// (a): every number of the text, each parsed where it starts.
double parse_numbers(const std::vector<uint8_t>& bytes)
{
    double sum = 0.0;
    const char* at = reinterpret_cast<const char*>(bytes.data());
    const char* end = at + bytes.size();
    while (at < end) {
        bool starts = (*at >= '0' && *at <= '9') || *at == '-' || *at == '.';
        float value = 0.0f;
        auto [stop, error] = starts ? std::from_chars(at, end, value) : std::from_chars_result{at, std::errc()};
        if (stop != at && error == std::errc()) {
            sum += value;
            at = stop;
        } else {
            ++at;
        }
    }
    return sum;
}

// (b): the log from its pieces: its thirteen floats an edge formatted from their bits, and its bytes
// written in 1 MiB blocks. The floats stand in for the log's own, which are the text's and the
// records' values.
size_t produce_log(const std::string& log, const std::vector<uint8_t>& records, std::FILE* out)
{
    record_walk walk = walk_records(records);
    std::vector<edge_equation> edges;
    size_t characters = 0;
    for (const polygon_record& record : walk.records) {
        decode_edges(records.data(), record, edges);
        for (const edge_equation& edge : edges) {
            for (int repeat = 0; repeat < 4; ++repeat) {
                characters += format_f(edge.c1).size + format_f(edge.c2).size + format_f(edge.c3).size;
            }
            characters += format_f(edge.c1).size;
        }
    }
    for (size_t at = 0; at < log.size(); at += LOG_BLOCK) {
        std::fwrite(log.data() + at, 1, std::min(LOG_BLOCK, log.size() - at), out);
    }
    return characters;
}

// The four measured parts, by name, so that callgrind counts each alone.
[[gnu::noinline]] void measure_run(char** args, std::FILE* discard) { (void)run_tarvex(3, args, discard, discard); }

[[gnu::noinline]] void measure_read(const char* text_path)
{
    std::vector<uint8_t> bytes;
    (void)read_input(text_path, bytes);
    (void)parse_numbers(bytes);
}

[[gnu::noinline]] void measure_log(const std::string& log, const std::vector<uint8_t>& records, std::FILE* discard)
{
    (void)produce_log(log, records, discard);
}

[[gnu::noinline]] void measure_write(const char* collision_path, const std::vector<uint8_t>& records)
{
    int error = 0;
    (void)write_output_file(collision_path, records.data(), records.size(), error);
}

}  // namespace

int main(int argc, char** argv)
{
    size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
    bool once = argc > 2 && std::string_view(argv[2]) == "once";
    std::filesystem::path folder = std::filesystem::temp_directory_path();
    std::string text_path = (folder / "tarvex_floors.txt").string();
    std::string collision_path = (folder / "tarvex_floors.col").string();
    std::string text = random_map(1, count);
    write_text(text_path, text);
    std::FILE* discard = std::fopen(NULL_DEVICE, "wb");

    // the run's own log and records, as the floors' material
    pass_result first = run_pass_one(text);
    pass_result second = run_pass_two(first.bytes);
    std::string log = first.log + second.log;

    char* args[] = {argv[0], text_path.data(), collision_path.data()};
    if (once) {
        measure_run(args, discard);
        measure_read(text_path.c_str());
        measure_log(log, second.bytes, discard);
        measure_write(collision_path.c_str(), second.bytes);
    } else {
        double run = seconds_per_run([&] { measure_run(args, discard); }, 3, 2.0);
        double read = seconds_per_run([&] { measure_read(text_path.c_str()); });
        double logged = seconds_per_run([&] { measure_log(log, second.bytes, discard); });
        double written = seconds_per_run([&] { measure_write(collision_path.c_str(), second.bytes); });
        double floors = read + logged + written;
        std::printf("%zu polygons: run %.3f s; floors: read %.3f s, log %.3f s, write %.3f s; ratio %.2f\n", count,
                    run, read, logged, written, run / floors);
    }
    std::fclose(discard);
    std::filesystem::remove(text_path);
    std::filesystem::remove(collision_path);
    return 0;
}
