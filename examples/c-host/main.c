/* A minimal C host of the QLX5100 analyzer through its C interface: reads a
 * status block from a file and prints its XML document (or, with --json,
 * its ndjson record) on standard output.
 *
 *   qlx5100_c_host [--json] STATUS_FILE
 *
 * Build it against an installation, with CMake (CMakeLists.txt here) or
 * with pkg-config:
 *
 *   cc -std=c11 main.c -o qlx5100_c_host $(pkg-config --cflags --libs qlx5100)
 *
 * Exit status: the library's code (0, 3 input, 4 analyzer, 5 module), 2 for
 * a usage error or a file that cannot be read. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <qlx5100/qlx5100.h>

/* Errors only; the library sends nothing anywhere until it is told to. */
static void log_errors(void* user, int severity, const char* text) {
    (void)user;
    if (severity >= QLX5100_SEVERITY_ERROR) {
        fprintf(stderr, "qlx5100: %s\n", text);
    }
}

int main(int argc, char** argv) {
    int json = argc == 3 && strcmp(argv[1], "--json") == 0;
    if (argc != 2 + json) {
        fprintf(stderr, "usage: %s [--json] STATUS_FILE\n", argv[0]);
        return 2;
    }
    FILE* file = fopen(argv[1 + json], "rb");
    if (file == NULL) {
        perror(argv[1 + json]);
        return 2;
    }
    /* Blocks are 1024 bytes; a longer one is passed on whole, as the tool
     * does, up to what this buffer holds. */
    static unsigned char block[64 * 1024];
    size_t size = fread(block, 1, sizeof block, file);
    fclose(file);

    qlx5100_set_log(log_errors, NULL);
    qlx5100_result* result = NULL;
    int code = qlx5100_analyze(block, size, &result);
    if (code != QLX5100_OK) {
        fprintf(stderr, "%s\n", qlx5100_last_error());
        return code;
    }
    if (json) {
        printf("%s\n", qlx5100_result_json(result));
    } else {
        fputs(qlx5100_result_xml(result), stdout);
    }
    qlx5100_result_free(result);
    return 0;
}
