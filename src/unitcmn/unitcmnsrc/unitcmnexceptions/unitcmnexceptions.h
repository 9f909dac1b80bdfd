// The one exception type the analyzer throws, the builder that fills it, and
// the translator that turns machine faults into it.
//
// unitCmnException is a self-contained value record (no base class, no heap
// memory): it can be copied out of a fault and thrown across module
// boundaries. Having no base class, it is caught only as unitCmnException& or
// by catch (...), never by catch (std::exception&).
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "orvplatform/win32.h"

class unitCmnException {
public:
    // A new record: code 3, empty texts, last error 0, both fault structures
    // zero, filled 1.
    unitCmnException();

    // Fills a record through unitCmnExceptions::setException. file and
    // comment may be null (empty); longer texts are cut to their field.
    // pointers, when not null, describe a machine fault: its exception record
    // and context are copied and "info" describes it.
    unitCmnException(uint32_t errorCode, EXCEPTION_POINTERS* pointers, const char* file,
                     uint32_t line, const char* comment);

    // Four lines: "ErrorCode :0x%08X\t", "LastErr :0x%08X\t", "Info :<info>",
    // "Comment :<comment>", joined with "\n".
    std::string getErrorText() const;

    uint32_t errorCode;
    char fileName[260];
    uint32_t lineNo;
    char comment[1024];
    uint32_t lastError;
    char info[1024];
    EXCEPTION_RECORD exceptionRecord;
    CONTEXT contextRecord;
    uint32_t filled;
};

// Builds records. Owns at most one on the heap, freed with the builder.
class unitCmnExceptions {
public:
    unitCmnExceptions() = default;
    unitCmnExceptions(const unitCmnExceptions&) = delete;
    unitCmnExceptions& operator=(const unitCmnExceptions&) = delete;
    virtual ~unitCmnExceptions();

    // Fills the held record (creating it on first use) and returns a copy.
    unitCmnException setException(uint32_t errorCode, EXCEPTION_POINTERS* pointers,
                                  const char* file, uint32_t line, const char* comment);

private:
    unitCmnException* record_ = nullptr;
};

// The structured-exception translator: throws a record (code 3, the fault's
// pointers, empty comment). Never returns. The code argument is not used: the
// code is read from the exception record.
void translateStructuredException(unsigned int code, EXCEPTION_POINTERS* pointers);

// The three handlers of library code below the host's boundary: every failure
// of the try block before them leaves as unitCmnException, a copy or a new
// record (code 3, this file, the handler's own line, what() or an empty
// comment). Write the three directly after the try block, one per line:
//
//     try { ... }
//     UNITCMN_RETHROW_UNITCMN
//     UNITCMN_RETHROW_STD
//     UNITCMN_RETHROW_ANY
#define UNITCMN_RETHROW_UNITCMN    \
    catch (unitCmnException & e) { \
        throw unitCmnException(e); \
    }
#define UNITCMN_RETHROW_STD                                               \
    catch (std::exception & e) {                                          \
        throw unitCmnException(3, nullptr, __FILE__, __LINE__, e.what()); \
    }
#define UNITCMN_RETHROW_ANY                                         \
    catch (...) {                                                   \
        throw unitCmnException(3, nullptr, __FILE__, __LINE__, ""); \
    }
