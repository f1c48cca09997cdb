/* collision_reader.h: reads the collision files that tarvex writes, in a game. C99, no dependencies,
   one file to copy into a game's tree; part of the collision tools, under the same terms.

   In exactly one C or C++ file of the game:
       #define COLLISION_READER_IMPLEMENTATION
       #include "collision_reader.h"
   and elsewhere include it plainly.

   A collision file is a list of polygon records and then the data end marker 8F 8F 8F 8F; all numbers
   are big-endian. A record is a 16-bit size in bytes (8 + 8 x edges), a 16-bit splitspace mask, one
   8-byte edge record per edge (C1 signed 24.8, C2 and C3 signed 8.8) and the polygon end marker
   80 80 80 80. A point (x, y) is inside an edge when C1 + y C2 + x C3 >= 0, each product rounded to
   single precision and the sum taken in double and rounded to single; inside a record when inside
   every edge. Mask bit 4 cy + cx says the record holds an integer point of cell (cx, cy) of the
   4 x 4 grid of 400-unit cells, searched 10 units beyond each cell.

   cr_open checks a whole buffer once: a file it accepts is walked and queried without a check, and
   no call ever reads outside the buffer. The point query gives exactly the answer of the imager,
   mirolt, which colours a pixel by the first record that holds it; build with -ffp-contract=off (or
   /fp:precise), so that no compiler fuses the products into the sum.

   Example:
       cr_file level;
       cr_error error = cr_open(&level, bytes, size);
       if (error != CR_OK) { printf("level: %s\n", cr_error_text(error)); return; }
       long under = cr_record_at_point(&level, player_x, player_y + 1);
*/
#ifndef COLLISION_READER_H
#define COLLISION_READER_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef enum {
    CR_OK = 0,
    CR_EMPTY,              /* no bytes at all */
    CR_NO_DATA_END,        /* the buffer ends where a record or the data end marker should start */
    CR_NO_POLYGON_END,     /* a record runs to the end of the buffer without its end marker */
    CR_BAD_SIZE,           /* a record's size field is not 8 + 8 x its edges */
    CR_TOO_MANY_EDGES,     /* more edges than a 16-bit size can describe: 8190 */
    CR_TRAILING_BYTES      /* bytes after the data end marker */
} cr_error;

/* Words for an error, for a message. */
const char* cr_error_text(cr_error error);

typedef struct {
    const unsigned char* data;
    size_t size;
    size_t record_count;
} cr_file;

/* One polygon record: where it starts in the buffer, its edges, and its splitspace mask. */
typedef struct {
    size_t offset;
    size_t edge_count;
    unsigned mask;
} cr_record;

/* One edge: a point (x, y) is inside when c1 + y c2 + x c3 >= 0, in the steps above. */
typedef struct {
    float c1;
    float c2;
    float c3;
} cr_edge;

/* Checks the buffer and, when it is a sound collision file, fills `file`; the buffer must outlive it. */
cr_error cr_open(cr_file* file, const void* data, size_t size);

/* Walks the records in order: start with *cursor = 0; false after the last. */
int cr_next_record(const cr_file* file, size_t* cursor, cr_record* record);

/* Edge `index` of a record. */
cr_edge cr_record_edge(const cr_file* file, const cr_record* record, size_t index);

/* The signed distance of (x, y) from an edge, rounded exactly as the imager rounds it. */
float cr_edge_distance(cr_edge edge, int x, int y);

/* Whether the record holds (x, y): a point on an edge is inside, and a record without edges holds
   every point. */
int cr_record_holds(const cr_file* file, const cr_record* record, int x, int y);

/* The number of the first record that holds (x, y), from 0 in file order, or -1 when none does. */
long cr_record_at_point(const cr_file* file, int x, int y);

/* The numbers of the records whose mask names cell (cx, cy), cx and cy in 0..3, in file order: how
   many there are is returned, and the first `capacity` of them are written to `out`. */
size_t cr_records_in_cell(const cr_file* file, int cx, int cy, size_t* out, size_t capacity);

#ifdef __cplusplus
}
#endif

#endif /* COLLISION_READER_H */

#ifdef COLLISION_READER_IMPLEMENTATION
#ifndef COLLISION_READER_IMPLEMENTED
#define COLLISION_READER_IMPLEMENTED

#define CR_HEADER_SIZE 4u
#define CR_EDGE_SIZE 8u
#define CR_MARKER_SIZE 4u
#define CR_MAX_EDGES 8190u
#define CR_POLYGON_END 0x80808080ul
#define CR_DATA_END 0x8F8F8F8Ful

static unsigned long cr_get32(const unsigned char* in)
{
    return (unsigned long)in[0] << 24 | (unsigned long)in[1] << 16 | (unsigned long)in[2] << 8 | (unsigned long)in[3];
}

static unsigned cr_get16(const unsigned char* in)
{
    return (unsigned)in[0] << 8 | (unsigned)in[1];
}

/* A word of four bytes lies within the buffer at `at`. */
static int cr_has_word(size_t size, size_t at)
{
    return at <= size && size - at >= 4u;
}

const char* cr_error_text(cr_error error)
{
    switch (error) {
    case CR_OK:
        return "a sound collision file";
    case CR_EMPTY:
        return "the file is empty";
    case CR_NO_DATA_END:
        return "no data end marker where a record or the marker should start";
    case CR_NO_POLYGON_END:
        return "a record without its polygon end marker";
    case CR_BAD_SIZE:
        return "a record whose size field is not its length";
    case CR_TOO_MANY_EDGES:
        return "a record of more edges than its size field can describe";
    case CR_TRAILING_BYTES:
        return "bytes after the data end marker";
    }
    return "an unknown error";
}

/* The end marker of the record at `start`, looked for only where an edge record would start, as the
   imager looks; 0 when the buffer ends first. */
static size_t cr_record_end(const unsigned char* data, size_t size, size_t start)
{
    size_t word = start + CR_HEADER_SIZE;
    for (;;) {
        if (!cr_has_word(size, word)) {
            return 0;
        }
        if (cr_get32(data + word) == CR_POLYGON_END) {
            return word;
        }
        word += CR_EDGE_SIZE;
    }
}

cr_error cr_open(cr_file* file, const void* data, size_t size)
{
    const unsigned char* bytes = (const unsigned char*)data;
    size_t start = 0;
    size_t count = 0;
    if (size == 0) {
        return CR_EMPTY;
    }
    for (;;) {
        size_t end = 0;
        size_t edges = 0;
        if (!cr_has_word(size, start)) {
            return CR_NO_DATA_END;
        }
        if (cr_get32(bytes + start) == CR_DATA_END) {
            break;
        }
        end = cr_record_end(bytes, size, start);
        if (end == 0) {
            return CR_NO_POLYGON_END;
        }
        edges = (end - start - CR_HEADER_SIZE) / CR_EDGE_SIZE;
        if (edges > CR_MAX_EDGES) {
            return CR_TOO_MANY_EDGES;
        }
        if (cr_get16(bytes + start) != CR_HEADER_SIZE + CR_MARKER_SIZE + CR_EDGE_SIZE * edges) {
            return CR_BAD_SIZE;
        }
        start = end + CR_MARKER_SIZE;
        ++count;
    }
    if (start + CR_MARKER_SIZE != size) {
        return CR_TRAILING_BYTES;
    }
    file->data = bytes;
    file->size = size;
    file->record_count = count;
    return CR_OK;
}

int cr_next_record(const cr_file* file, size_t* cursor, cr_record* record)
{
    size_t start = *cursor;
    size_t length = 0;
    if (cr_get32(file->data + start) == CR_DATA_END) {
        return 0;
    }
    length = cr_get16(file->data + start);
    record->offset = start;
    record->edge_count = (length - CR_HEADER_SIZE - CR_MARKER_SIZE) / CR_EDGE_SIZE;
    record->mask = cr_get16(file->data + start + 2);
    *cursor = start + length;
    return 1;
}

/* A fixed-point value with 8 fraction bits, as the imager decodes it: the integer rounded to single,
   divided by 256 in double, and rounded to single again. */
static float cr_fixed(long raw)
{
    return (float)((double)(float)raw / 256.0);
}

cr_edge cr_record_edge(const cr_file* file, const cr_record* record, size_t index)
{
    const unsigned char* at = file->data + record->offset + CR_HEADER_SIZE + index * CR_EDGE_SIZE;
    unsigned long c1 = cr_get32(at);
    unsigned c2 = cr_get16(at + 4);
    unsigned c3 = cr_get16(at + 6);
    cr_edge edge;
    /* two's complement, read without relying on how a cast to a signed type wraps */
    edge.c1 = cr_fixed(c1 >= 0x80000000ul ? -(long)(0xFFFFFFFFul - c1) - 1 : (long)c1);
    edge.c2 = cr_fixed(c2 >= 0x8000u ? (long)c2 - 0x10000L : (long)c2);
    edge.c3 = cr_fixed(c3 >= 0x8000u ? (long)c3 - 0x10000L : (long)c3);
    return edge;
}

float cr_edge_distance(cr_edge edge, int x, int y)
{
    float y_term = (float)((double)y * (double)edge.c2);
    float x_term = (float)((double)x * (double)edge.c3);
    return (float)((double)edge.c1 + (double)y_term + (double)x_term);
}

int cr_record_holds(const cr_file* file, const cr_record* record, int x, int y)
{
    size_t i = 0;
    for (i = 0; i < record->edge_count; ++i) {
        if (0.0f > cr_edge_distance(cr_record_edge(file, record, i), x, y)) {
            return 0;
        }
    }
    return 1;
}

long cr_record_at_point(const cr_file* file, int x, int y)
{
    size_t cursor = 0;
    long number = 0;
    cr_record record;
    while (cr_next_record(file, &cursor, &record)) {
        if (cr_record_holds(file, &record, x, y)) {
            return number;
        }
        ++number;
    }
    return -1;
}

size_t cr_records_in_cell(const cr_file* file, int cx, int cy, size_t* out, size_t capacity)
{
    size_t cursor = 0;
    size_t number = 0;
    size_t found = 0;
    unsigned bit = 0;
    cr_record record;
    if (cx < 0 || cx > 3 || cy < 0 || cy > 3) {
        return 0;
    }
    bit = 1u << (4 * cy + cx);
    while (cr_next_record(file, &cursor, &record)) {
        if (record.mask & bit) {
            if (found < capacity) {
                out[found] = number;
            }
            ++found;
        }
        ++number;
    }
    return found;
}

#endif /* COLLISION_READER_IMPLEMENTED */
#endif /* COLLISION_READER_IMPLEMENTATION */
