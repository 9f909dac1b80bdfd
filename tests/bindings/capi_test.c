/* The C interface from C11: every bundled example through analyze and
 * encode, the bad arguments a C caller can make, the log callback and
 * threads.
 *
 *   capi_test EXAMPLES_DIR NAME...   (NAME: an example, examples/blocks/NAME.bin)
 *
 * Prints one line per failed check and exits 1 when there was any. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "qlx5100/qlx5100.h"

#if !defined(__STDC_NO_THREADS__) && !defined(_WIN32)
#include <threads.h>
#define CAPI_TEST_THREADS 1
#endif

static int failures;

#define CHECK(condition, ...)                                               \
    do {                                                                    \
        if (!(condition)) {                                                 \
            ++failures;                                                     \
            fprintf(stderr, "%s:%d: %s: ", __FILE__, __LINE__, #condition); \
            fprintf(stderr, __VA_ARGS__);                                   \
            fputc('\n', stderr);                                            \
        }                                                                   \
    } while (0)

typedef struct {
    char* data;
    size_t size;
} text;

/* The whole file, with a NUL after it; NULL data when it cannot be read. */
static text slurp(const char* dir, const char* folder, const char* name, const char* ext) {
    char path[4096];
    text out = {NULL, 0};
    snprintf(path, sizeof path, "%s/%s/%s%s", dir, folder, name, ext);
    FILE* f = fopen(path, "rb");
    if (f == NULL) {
        fprintf(stderr, "cannot read %s\n", path);
        return out;
    }
    size_t room = 4096;
    out.data = malloc(room + 1);
    size_t got;
    while ((got = fread(out.data + out.size, 1, room - out.size, f)) > 0) {
        out.size += got;
        if (out.size == room) {
            room *= 2;
            out.data = realloc(out.data, room + 1);
        }
    }
    fclose(f);
    out.data[out.size] = '\0';
    return out;
}

static int starts_with(const char* s, const char* prefix) {
    return s != NULL && strncmp(s, prefix, strlen(prefix)) == 0;
}

static int contains(const char* s, const char* part) {
    return s != NULL && strstr(s, part) != NULL;
}

/* One example: its block analyses to the expected XML, its entries are in
 * map order and found again by value(), and its values encode to its block. */
static void check_example(const char* dir, const char* name) {
    text block = slurp(dir, "blocks", name, ".bin");
    text expected = slurp(dir, "expected", name, ".xml");
    text values = slurp(dir, "values", name, ".json");
    if (block.data == NULL || expected.data == NULL || values.data == NULL) {
        ++failures;
        goto done;
    }

    qlx5100_result* r = NULL;
    int code = qlx5100_analyze(block.data, block.size, &r);
    CHECK(code == QLX5100_OK && r != NULL, "%s: code %d: %s", name, code, qlx5100_last_error());
    if (r == NULL) {
        goto done;
    }
    CHECK(strcmp(qlx5100_last_error(), "") == 0, "%s: %s", name, qlx5100_last_error());
    CHECK(strcmp(qlx5100_result_xml(r), expected.data) == 0, "%s: other XML:\n%s", name,
          qlx5100_result_xml(r));
    CHECK(qlx5100_result_xml(r) == qlx5100_result_xml(r), "%s: the XML written twice", name);
    CHECK(starts_with(qlx5100_result_json(r), "{\"ok\":true,\"values\":{\"ActivatedPinchRoller\":"),
          "%s: %s", name, qlx5100_result_json(r));

    size_t count = qlx5100_result_count(r);
    CHECK(count >= 22, "%s: %zu entries", name, count);
    const char* previous_key = "";
    int previous_index = 0;
    for (size_t i = 0; i < count; ++i) {
        const char* key = NULL;
        const char* value = NULL;
        int index = -1;
        CHECK(qlx5100_result_entry(r, i, &key, &index, &value) == QLX5100_OK, "%s: entry %zu", name,
              i);
        if (key == NULL || value == NULL) {
            continue;
        }
        int order = strcmp(previous_key, key);
        CHECK(order < 0 || (order == 0 && previous_index < index), "%s: %s[%d] after %s[%d]", name,
              key, index, previous_key, previous_index);
        CHECK(qlx5100_result_value(r, key, index) == value, "%s: value(%s, %d)", name, key, index);
        previous_key = key;
        previous_index = index;
    }
    qlx5100_result_free(r);

    unsigned char encoded[QLX5100_BLOCK_SIZE + 1];
    encoded[QLX5100_BLOCK_SIZE] = 0xA5;
    code = qlx5100_encode(values.data, encoded, sizeof encoded);
    CHECK(code == QLX5100_OK, "%s: encode: %d: %s", name, code, qlx5100_last_error());
    CHECK(block.size == QLX5100_BLOCK_SIZE && memcmp(encoded, block.data, block.size) == 0,
          "%s: encode gave another block than blocks/%s.bin", name, name);
    CHECK(encoded[QLX5100_BLOCK_SIZE] == 0xA5, "%s: encode wrote past the block", name);

done:
    free(block.data);
    free(expected.data);
    free(values.data);
}

/* Known values of one example, through value(). */
static void check_values(const char* dir) {
    text block = slurp(dir, "blocks", "normal-operation", ".bin");
    qlx5100_result* r = NULL;
    if (block.data == NULL || qlx5100_analyze(block.data, block.size, &r) != QLX5100_OK) {
        ++failures;
        free(block.data);
        return;
    }
    static const struct {
        const char* key;
        int index;
        const char* value; /* NULL: absent */
    } rows[] = {
        {"HeaterTemperature", 1, "45"},
        {"HeaterTemperature", 5, NULL},
        {"HeaterTemperature", 0, NULL},
        {"CuttingCommandName", 1, "CUTCMD"},
        {"PinchRollerPressureSetting", 5, NULL},
        {"NoSuchKey", 1, NULL},
        {"heatertemperature", 1, NULL},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
        const char* got = qlx5100_result_value(r, rows[i].key, rows[i].index);
        if (rows[i].value == NULL) {
            CHECK(got == NULL, "value(%s, %d) is \"%s\"", rows[i].key, rows[i].index, got);
        } else {
            CHECK(got != NULL && strcmp(got, rows[i].value) == 0, "value(%s, %d) is %s",
                  rows[i].key, rows[i].index, got == NULL ? "NULL" : got);
        }
    }
    qlx5100_result_free(r);
    free(block.data);
}

/* Every way a C caller can get the arguments wrong: a code and a message,
 * or NULL / 0, never a crash. */
static void check_bad_arguments(void) {
    static unsigned char zeros[QLX5100_BLOCK_SIZE];
    qlx5100_result* r = (qlx5100_result*)zeros; /* must be reset to NULL */
    static const struct {
        const void* block;
        size_t size;
        const char* message;
    } analyses[] = {
        {NULL, 0, "the status block is 0 bytes"},
        {NULL, QLX5100_BLOCK_SIZE, "block is NULL"},
        {zeros, 0, "the status block is 0 bytes"},
        {zeros, QLX5100_BLOCK_SIZE - 1, "the status block is 1023 bytes"},
    };
    for (size_t i = 0; i < sizeof analyses / sizeof analyses[0]; ++i) {
        r = (qlx5100_result*)zeros;
        int code = qlx5100_analyze(analyses[i].block, analyses[i].size, &r);
        CHECK(code == QLX5100_INPUT_ERROR && r == NULL, "analysis %zu: code %d", i, code);
        CHECK(contains(qlx5100_last_error(), analyses[i].message), "analysis %zu: \"%s\"", i,
              qlx5100_last_error());
    }
    CHECK(qlx5100_analyze(zeros, sizeof zeros, NULL) == QLX5100_INPUT_ERROR, "out NULL");
    CHECK(contains(qlx5100_last_error(), "out is NULL"), "\"%s\"", qlx5100_last_error());

    const char* key = "x";
    const char* value = "x";
    int index = 7;
    CHECK(qlx5100_result_count(NULL) == 0, "count(NULL)");
    CHECK(qlx5100_result_entry(NULL, 0, &key, &index, &value) == QLX5100_INPUT_ERROR &&
              key == NULL && value == NULL && index == 0,
          "entry(NULL)");
    CHECK(qlx5100_result_entry(NULL, 0, NULL, NULL, NULL) == QLX5100_INPUT_ERROR, "entry(NULL)");
    CHECK(qlx5100_result_value(NULL, "ToolStatus", 1) == NULL, "value(NULL)");
    CHECK(qlx5100_result_xml(NULL) == NULL && qlx5100_result_json(NULL) == NULL, "xml/json(NULL)");
    qlx5100_result_free(NULL);

    r = NULL;
    CHECK(qlx5100_analyze(zeros, sizeof zeros, &r) == QLX5100_OK, "%s", qlx5100_last_error());
    size_t count = qlx5100_result_count(r);
    CHECK(
        qlx5100_result_entry(r, count, &key, &index, &value) == QLX5100_INPUT_ERROR && key == NULL,
        "entry past the end");
    CHECK(contains(qlx5100_last_error(), "no entry"), "\"%s\"", qlx5100_last_error());
    CHECK(qlx5100_result_entry(r, (size_t)-1, NULL, NULL, NULL) == QLX5100_INPUT_ERROR, "entry -1");
    CHECK(qlx5100_result_entry(r, 0, NULL, NULL, NULL) == QLX5100_OK, "entry without outputs");
    CHECK(qlx5100_result_value(r, NULL, 1) == NULL, "value(key NULL)");
    qlx5100_result_free(r);

    static const struct {
        const char* json;
        size_t size;
        const char* message;
    } encodes[] = {
        {NULL, QLX5100_BLOCK_SIZE, "values_json is NULL"},
        {"{}", QLX5100_BLOCK_SIZE - 1, "room for 1023 bytes"},
        {"", QLX5100_BLOCK_SIZE, "not JSON we can read: line 1, column 1"},
        {"{\"ToolStatus\": 256}", QLX5100_BLOCK_SIZE, "ToolStatus: 256 is outside 0..255"},
    };
    unsigned char block[QLX5100_BLOCK_SIZE];
    for (size_t i = 0; i < sizeof encodes / sizeof encodes[0]; ++i) {
        memset(block, 0x5A, sizeof block);
        int code = qlx5100_encode(encodes[i].json, block, encodes[i].size);
        CHECK(code == QLX5100_INPUT_ERROR, "encode %zu: code %d", i, code);
        CHECK(contains(qlx5100_last_error(), encodes[i].message), "encode %zu: \"%s\"", i,
              qlx5100_last_error());
        CHECK(block[0] == 0x5A && block[sizeof block - 1] == 0x5A, "encode %zu wrote", i);
    }
    CHECK(qlx5100_encode("{}", NULL, QLX5100_BLOCK_SIZE) == QLX5100_INPUT_ERROR, "block NULL");
    CHECK(qlx5100_encode("{}", block, sizeof block) == QLX5100_OK, "%s", qlx5100_last_error());
    CHECK(strcmp(qlx5100_last_error(), "") == 0, "after success: \"%s\"", qlx5100_last_error());
}

typedef struct {
    int records[16];
    int total;
    char first[256];
    char last_error[256];
} log_capture;

static void capture(void* user, int severity, const char* text) {
    log_capture* c = user;
    if (c->total++ == 0) {
        snprintf(c->first, sizeof c->first, "%s", text);
    }
    if (severity >= 0 && severity < 16) {
        ++c->records[severity];
    }
    if (severity >= QLX5100_SEVERITY_WARNING) {
        snprintf(c->last_error, sizeof c->last_error, "%s", text);
    }
}

static void check_log(void) {
    static unsigned char zeros[QLX5100_BLOCK_SIZE];
    log_capture c;
    memset(&c, 0, sizeof c);
    qlx5100_result* r = NULL;

    /* Before any callback, records go nowhere (and nothing is printed). */
    qlx5100_analyze(zeros, sizeof zeros, &r);
    qlx5100_result_free(r);

    qlx5100_set_log(capture, &c);
    qlx5100_analyze(zeros, sizeof zeros, &r);
    qlx5100_result_free(r);
    /* startStatusAnalysis, statusAnalysis, startConvertXML, convertXML:
     * an entry and an exit record each. */
    CHECK(c.records[QLX5100_SEVERITY_INOUT] == 8 && c.total == 8, "%d records, %d in/out", c.total,
          c.records[QLX5100_SEVERITY_INOUT]);
    CHECK(starts_with(c.first, "--> OrvStatusAnalyzerQLX5100::startStatusAnalysis ("), "\"%s\"",
          c.first);

    r = NULL;
    CHECK(qlx5100_analyze(zeros, 5, &r) == QLX5100_INPUT_ERROR, "short block");
    CHECK(c.records[QLX5100_SEVERITY_ERROR] == 1 && contains(c.last_error, "Status size error"),
          "%d errors, \"%s\"", c.records[QLX5100_SEVERITY_ERROR], c.last_error);

    unsigned char block[QLX5100_BLOCK_SIZE];
    CHECK(qlx5100_encode("{\"ToolStatus\": {\"1\": \"1\"}, \"Extra\": {\"1\": \"x\"}}", block,
                         sizeof block) == QLX5100_INPUT_ERROR &&
              contains(qlx5100_last_error(), "Extra"),
          "%s", qlx5100_last_error());

    qlx5100_set_log(NULL, NULL);
    int before = c.total;
    qlx5100_analyze(zeros, sizeof zeros, &r);
    qlx5100_result_free(r);
    CHECK(c.total == before, "%d records after the callback was taken away", c.total - before);
}

#ifdef CAPI_TEST_THREADS
typedef struct {
    const char* block;
    size_t size;
    const char* expected;
    int mismatches;
} thread_job;

static int analyze_many(void* arg) {
    thread_job* job = arg;
    for (int i = 0; i < 200; ++i) {
        qlx5100_result* r = NULL;
        if (qlx5100_analyze(job->block, job->size, &r) != QLX5100_OK ||
            strcmp(qlx5100_result_xml(r), job->expected) != 0) {
            ++job->mismatches;
        }
        qlx5100_result_free(r);
    }
    return 0;
}

/* Threads on different blocks at once, each getting its own block's XML. */
static void check_threads(const char* dir, int names, char** name) {
    enum { kThreads = 4 };
    thrd_t threads[kThreads];
    thread_job jobs[kThreads];
    text blocks[kThreads];
    text expected[kThreads];
    for (int t = 0; t < kThreads; ++t) {
        blocks[t] = slurp(dir, "blocks", name[t % names], ".bin");
        expected[t] = slurp(dir, "expected", name[t % names], ".xml");
        jobs[t] = (thread_job){blocks[t].data, blocks[t].size, expected[t].data, 0};
        CHECK(thrd_create(&threads[t], analyze_many, &jobs[t]) == thrd_success, "thread %d", t);
    }
    for (int t = 0; t < kThreads; ++t) {
        thrd_join(threads[t], NULL);
        CHECK(jobs[t].mismatches == 0, "thread %d: %d of 200 wrong", t, jobs[t].mismatches);
        free(blocks[t].data);
        free(expected[t].data);
    }
}
#endif

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: %s EXAMPLES_DIR NAME...\n", argv[0]);
        return 2;
    }
    CHECK(strcmp(qlx5100_version(), QLX5100_EXPECTED_VERSION) == 0, "version %s",
          qlx5100_version());
    for (int i = 2; i < argc; ++i) {
        check_example(argv[1], argv[i]);
    }
    check_values(argv[1]);
    check_bad_arguments();
    check_log();
#ifdef CAPI_TEST_THREADS
    check_threads(argv[1], argc - 2, argv + 2);
#endif
    if (failures != 0) {
        fprintf(stderr, "%d checks failed\n", failures);
        return 1;
    }
    printf("all checks passed (%d examples)\n", argc - 2);
    return 0;
}
