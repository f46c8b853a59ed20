/* The floor that a keyed import is measured against, and the input it reads.
 *
 *   sort_floor gen N FILE     writes N records of 100 bytes to FILE: bytes 10..17 are a
 *                             bijection of the record number, bytes 0..3 pseudo-random, so the
 *                             12-byte key made of bytes 10..17 and 0..3 is unique and the
 *                             records come in random key order; the other bytes are letters
 *   sort_floor sort IN OUT    reads the records of IN, sorts (key, index) pairs with qsort and
 *                             writes the records to OUT in key order: the least work any keyed
 *                             import of IN must do, without an index and without a sync
 *
 * Plain C on purpose: no engine, no library beyond the C runtime. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { kRecordSize = 100, kKeySize = 12 };

struct Pair {
    unsigned char key[kKeySize];
    uint32_t index;
};

/* The same bijection as bench_keys.h (splitmix64's finaliser). */
static uint64_t Mix(uint64_t x) {
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

static int Generate(uint64_t records, const char* path) {
    FILE* out = fopen(path, "wb");
    if (out == NULL) {
        perror(path);
        return 1;
    }
    unsigned char record[kRecordSize];
    for (uint64_t i = 0; i < records; ++i) {
        const uint64_t a = Mix(i + 0x1234567);
        const uint64_t b = Mix(a ^ 0xA5A5A5A5A5A5A5A5ull);
        for (int j = 0; j < kRecordSize; ++j) record[j] = (unsigned char)('a' + (i + j) % 26);
        memcpy(record, &b, 4);
        memcpy(record + 10, &a, 8);
        if (fwrite(record, 1, kRecordSize, out) != kRecordSize) {
            perror(path);
            fclose(out);
            return 1;
        }
    }
    if (fclose(out) != 0) {
        perror(path);
        return 1;
    }
    return 0;
}

static int ComparePairs(const void* a, const void* b) {
    return memcmp(((const struct Pair*)a)->key, ((const struct Pair*)b)->key, kKeySize);
}

static int Sort(const char* inPath, const char* outPath) {
    FILE* in = fopen(inPath, "rb");
    if (in == NULL) {
        perror(inPath);
        return 1;
    }
    fseek(in, 0, SEEK_END);
    const long length = ftell(in);
    fseek(in, 0, SEEK_SET);
    const size_t records = (size_t)length / kRecordSize;
    unsigned char* data = malloc(records * kRecordSize + 1);
    struct Pair* pairs = malloc(records * sizeof(struct Pair) + 1);
    if (data == NULL || pairs == NULL || fread(data, kRecordSize, records, in) != records) {
        fprintf(stderr, "sort_floor: cannot read %s\n", inPath);
        return 1;
    }
    fclose(in);
    for (size_t i = 0; i < records; ++i) {
        const unsigned char* r = data + i * kRecordSize;
        memcpy(pairs[i].key, r + 10, 8);
        memcpy(pairs[i].key + 8, r, 4);
        pairs[i].index = (uint32_t)i;
    }
    qsort(pairs, records, sizeof(struct Pair), ComparePairs);
    FILE* out = fopen(outPath, "wb");
    if (out == NULL) {
        perror(outPath);
        return 1;
    }
    for (size_t i = 0; i < records; ++i) {
        if (fwrite(data + (size_t)pairs[i].index * kRecordSize, 1, kRecordSize, out) !=
            kRecordSize) {
            perror(outPath);
            return 1;
        }
    }
    if (fclose(out) != 0) {
        perror(outPath);
        return 1;
    }
    free(pairs);
    free(data);
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 4 && strcmp(argv[1], "gen") == 0) {
        return Generate(strtoull(argv[2], NULL, 10), argv[3]);
    }
    if (argc == 4 && strcmp(argv[1], "sort") == 0) return Sort(argv[2], argv[3]);
    fprintf(stderr, "usage: sort_floor gen N FILE | sort_floor sort IN OUT\n");
    return 2;
}
