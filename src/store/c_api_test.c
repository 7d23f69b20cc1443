/* The five operations of vbis4032.h from a plain C program, through the
 * shared library: kill, create, open, put, close, then read back. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "vbis4032.h"

static int failures = 0;

#define CHECK_EQ(actual, expected)                                                               \
    do {                                                                                         \
        long a_ = (long)(actual), e_ = (long)(expected);                                         \
        if (a_ != e_) {                                                                          \
            fprintf(stderr, "%s:%d: %s is %ld, expected %ld\n", __FILE__, __LINE__, #actual, a_, \
                    e_);                                                                         \
            ++failures;                                                                          \
        }                                                                                        \
    } while (0)

/* The registry's record block: five text references and two 16-bit integers
 * in field order, packed without padding. */
enum { kBlockSize = 5 * sizeof(const char *) + 2 * sizeof(int16_t) };

static void pack(unsigned char *block, const char *name, int16_t flag5, int16_t flag6) {
    const char *empty = "";
    size_t off = 0;
    memcpy(block + off, &name, sizeof name), off += sizeof name;
    memcpy(block + off, &empty, sizeof empty), off += sizeof empty;
    memcpy(block + off, &empty, sizeof empty), off += sizeof empty;
    memcpy(block + off, &empty, sizeof empty), off += sizeof empty;
    memcpy(block + off, &flag5, sizeof flag5), off += sizeof flag5;
    memcpy(block + off, &flag6, sizeof flag6), off += sizeof flag6;
    memcpy(block + off, &empty, sizeof empty);
}

int main(int argc, char **argv) {
    char path[4096];
    const char *dir = argc > 1 ? argv[1] : "c_api_test_dir";
    mkdir(dir, 0755);
    snprintf(path, sizeof path, "%s/temp", dir);
    const char *store = path;
    const char *layout = "x40$,$,$,$,%,%,$";
    int16_t two = 2, zero = 0, three = 3, one = 1;
    int32_t page = 0, handle = 0, count = 0, size = 0;
    unsigned char block[kBlockSize];
    const char *key;

    VmxKill(&store); /* whatever an earlier run left */
    CHECK_EQ(VmxKill(&store), VMX_NOT_FOUND);
    CHECK_EQ(VmxCreate(&store, &two, &page, &zero, &zero, &layout), VMX_OK);
    CHECK_EQ(VmxCreate(&store, &two, &page, &zero, &zero, &layout), VMX_EXISTS);
    CHECK_EQ(VmxOpen(&store, &zero, &three, &handle), VMX_OK);
    CHECK_EQ(VmxRecordSize(&handle, &size), VMX_OK);
    CHECK_EQ(size, kBlockSize);

    pack(block, "", 0, 0);
    key = "YY";
    CHECK_EQ(VmxPut(&handle, &key, block, &zero), VMX_OK);
    pack(block, "Azienda di prova", 1, 1);
    CHECK_EQ(VmxPut(&handle, &key, block, &zero), VMX_OK);
    key = "yy";
    pack(block, "yy", 1, 1);
    CHECK_EQ(VmxPut(&handle, &key, block, &zero), VMX_OK);
    CHECK_EQ(VmxClose(&handle), VMX_OK);
    CHECK_EQ(VmxClose(&handle), VMX_BAD_HANDLE);

    CHECK_EQ(VmxOpen(&store, &zero, &one, &handle), VMX_OK);
    CHECK_EQ(VmxCount(&handle, &count), VMX_OK);
    CHECK_EQ(count, 2);
    key = "YY";
    memset(block, 0, sizeof block);
    CHECK_EQ(VmxGet(&handle, &key, block), VMX_OK);
    {
        const char *name;
        int16_t flag5;
        memcpy(&name, block, sizeof name);
        memcpy(&flag5, block + 4 * sizeof(const char *), sizeof flag5);
        CHECK_EQ(strcmp(name, "Azienda di prova"), 0);
        CHECK_EQ(flag5, 1);
    }
    CHECK_EQ(VmxClose(&handle), VMX_OK);

    {
        int32_t records = 0, message_size = 256;
        char message[256];
        CHECK_EQ(VmxVerify(&store, &records, message, &message_size), VMX_OK);
        CHECK_EQ(records, 2);
    }
    CHECK_EQ(strcmp(VmxResultText(VMX_IN_USE), "in use"), 0);
    CHECK_EQ(VmxKill(&store), VMX_OK);

    if (failures == 0) printf("c_api_test: ok\n");
    return failures == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
