/* The QLX5100 status analyzer for every language: C types only, results
 * owned by the caller. Compiles as C (C11) and as C++.
 *
 * The library is a host of the analyzer module, like the command-line tool
 * qlx5100-status: the first call that needs the analyzer loads the module
 * installed with the library, or the one the environment variable
 * QLX5100_MODULE names (and the common module it uses), and the library
 * holds both until it is unloaded itself. Every result is the tool's: the XML
 * document of its xml output, the record of its ndjson output, the block of
 * its encode command, its exit codes.
 *
 * Threads: every function may be called from any number of threads at
 * once. A result is not changed by any function but qlx5100_result_free,
 * so threads may read one result together; freeing it while another
 * thread reads it is the caller's error.
 *
 * Errors: the functions that return a code leave a message for the calling
 * thread, read with qlx5100_last_error(). No function crashes on a NULL
 * pointer, a size of 0 or a key that is not there; such arguments are
 * refused with QLX5100_INPUT_ERROR or answered with NULL / 0. */
#ifndef QLX5100_QLX5100_H
#define QLX5100_QLX5100_H

#include <stddef.h>

#if defined(_WIN32)
#if defined(QLX5100_BUILDING)
#define QLX5100_API __declspec(dllexport)
#else
#define QLX5100_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define QLX5100_API __attribute__((visibility("default")))
#else
#define QLX5100_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Return codes: the command-line tool's exit codes. */
#define QLX5100_OK 0
/* The input cannot be used: a block shorter than QLX5100_BLOCK_SIZE, values
 * encode refuses, a NULL pointer where data is needed, an index past the
 * end. */
#define QLX5100_INPUT_ERROR 3
/* The analyzer failed: startStatusAnalysis or startConvertXML returned
 * false (the log records say why). */
#define QLX5100_ANALYZER_FAILED 4
/* The analyzer module or the common module could not be loaded. The next
 * call tries again. */
#define QLX5100_MODULE_ERROR 5

/* The size of a status block as the printer reports it, and of the block
 * qlx5100_encode writes. */
#define QLX5100_BLOCK_SIZE 1024

/* Log record severities, as the analyzer writes them. */
#define QLX5100_SEVERITY_INOUT 10   /* entry and exit records */
#define QLX5100_SEVERITY_WARNING 12 /* the library's own notes (encode) */
#define QLX5100_SEVERITY_ERROR 13   /* error records */

/* One analysed block: the decoded values (the analyzer's StatusMap), its XML
 * document and its ndjson record. Opaque; freed by qlx5100_result_free. */
typedef struct qlx5100_result qlx5100_result;

/* Analyses size bytes at block (a status block of at least
 * QLX5100_BLOCK_SIZE bytes; a longer one is passed on whole, as the tool
 * does) and converts the values to the XML tree (startStatusAnalysis, then
 * startConvertXML). The block is copied: the caller may reuse it at once.
 *
 * On success returns QLX5100_OK and sets *out to a new result, which the
 * caller frees with qlx5100_result_free. On failure returns the code, sets
 * *out (when out is not NULL) to NULL and leaves the message for
 * qlx5100_last_error(). */
QLX5100_API int qlx5100_analyze(const void* block, size_t size, qlx5100_result** out);

/* The number of values (StatusMap entries) in r; 0 for NULL. */
QLX5100_API size_t qlx5100_result_count(const qlx5100_result* r);

/* Value number i (0 .. count-1), in map order (keys sorted by their bytes,
 * indices in order): its key, its index (1, 2, ...) and its text as the
 * analyzer wrote it (raw bytes, not escaped). Any of key, index and value
 * may be NULL when the caller does not want it. The texts belong to r and
 * live as long as it. Returns QLX5100_INPUT_ERROR for a NULL r or an i past
 * the end, and then sets the outputs given to NULL and 0. */
QLX5100_API int qlx5100_result_entry(const qlx5100_result* r, size_t i, const char** key,
                                     int* index, const char** value);

/* The text of key at index, or NULL when r has no such value (or r or key
 * is NULL). It belongs to r. */
QLX5100_API const char* qlx5100_result_value(const qlx5100_result* r, const char* key, int index);

/* The tree's XML document, as `qlx5100-status BLOCK` prints it (UTF-8,
 * values escaped as docs/xml-output.md says). Written on the first call (it
 * costs about twice the analysis), the same text afterwards. NULL for a NULL
 * r and for a tree that cannot be written as XML (the tool's exit code 4).
 * It belongs to r. */
QLX5100_API const char* qlx5100_result_xml(const qlx5100_result* r);

/* The block's record of `qlx5100-status -f ndjson` without the "file"
 * member and the line break: {"ok":true,"values":{...},"warnings":[...]}.
 * NULL for a NULL r. It belongs to r. */
QLX5100_API const char* qlx5100_result_json(const qlx5100_result* r);

/* Frees r and every text taken from it. NULL is ignored. */
QLX5100_API void qlx5100_result_free(qlx5100_result* r);

/* Builds the status block that values_json describes, as
 * `qlx5100-status encode` does (the same JSON forms, the same messages),
 * and writes its QLX5100_BLOCK_SIZE bytes to block; size is the room
 * there and must be at least QLX5100_BLOCK_SIZE (bytes past it are left
 * as they are). values_json is UTF-8 text ending in NUL. Nothing is
 * written unless QLX5100_OK is returned; a key the field dictionary does
 * not know is QLX5100_INPUT_ERROR, as in the tool. Needs no module. */
QLX5100_API int qlx5100_encode(const char* values_json, void* block, size_t size);

/* The message of the last qlx5100_analyze, qlx5100_result_entry or
 * qlx5100_encode call on this thread: "" when it succeeded. Never NULL.
 * Valid until the next of these calls on this thread. */
QLX5100_API const char* qlx5100_last_error(void);

/* The library's version, "MAJOR.MINOR.PATCH" (the project's version). */
QLX5100_API const char* qlx5100_version(void);

/* Receives one log record: its severity (QLX5100_SEVERITY_*) and its text,
 * as the tool's log lines show it without time and level:
 *   "--> OrvStatusAnalyzerQLX5100::startStatusAnalysis (file.cpp:104)"
 *   "<-- OrvStatusAnalyzerQLX5100::startStatusAnalysis (file.cpp:138) true"
 * The text is valid during the call only. Calls come from the thread that
 * made the record, one at a time. The callback must not call
 * qlx5100_analyze. */
typedef void (*qlx5100_log_fn)(void* user, int severity, const char* text);

/* Sends every later record to fn with user, or nowhere when fn is NULL (the
 * default: until a callback is named, records are not even made). The pair
 * is replaced as a whole: a record goes to the old pair or to the new one.
 * After the call returns no record goes to the old pair (one already being
 * delivered on another thread aside). */
QLX5100_API void qlx5100_set_log(qlx5100_log_fn fn, void* user);

#ifdef __cplusplus
}
#endif

#endif
