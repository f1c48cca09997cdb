// The sine table: its reference entries and its symmetries.
#include "sinetable.h"

#include "fixed_point.h"
#include "support.h"

namespace {

int entry(const uint8_t* table, int i)
{
    return int16_t(get_be16(table + 2 * i));
}

TEST(SineTable, HoldsTheReferenceEntries)
{
    uint8_t table[SINE_TABLE_SIZE];
    make_sine_table(table);
    struct reference {
        int i;
        int value;
    };
    // entry 128 is 0, not -1: sin(a) there is about -8.7e-8 and truncates toward zero
    const reference entries[] = {{0, 0},      {1, 402}, {2, 803},    {16, 6269},    {32, 11585}, {63, 16379},
                                 {64, 16384}, {128, 0}, {129, -402}, {192, -16384}, {255, -402}};
    for (const reference& expected : entries) {
        EXPECT_EQ(entry(table, expected.i), expected.value) << "entry " << expected.i;
    }
    EXPECT_EQ(table[2 * 129], 0xFE);
    EXPECT_EQ(table[2 * 129 + 1], 0x6E);
}

TEST(SineTable, IsAntisymmetricAndMirroredAboutAQuarterTurn)
{
    uint8_t table[SINE_TABLE_SIZE];
    make_sine_table(table);
    for (int i = 1; i < SINE_ENTRIES; ++i) {
        EXPECT_EQ(entry(table, SINE_ENTRIES - i), -entry(table, i)) << i;
    }
    for (int i = 0; i <= 128; ++i) {
        EXPECT_EQ(entry(table, 128 - i), entry(table, i)) << i;
    }
}

TEST(SineTable, EncodesByTruncatingTowardZero)
{
    uint8_t out[2];
    encode_sine16(-0.99999f, out);  // -16383.84 stores -16383
    EXPECT_EQ(int16_t(get_be16(out)), -16383);
    encode_sine16(1.0f, out);
    EXPECT_EQ(get_be16(out), 0x4000);
}

}  // namespace
