#include "unitcmnexceptions/unitcmnexceptions.h"

#include <cstdio>
#include <cstring>
#include <memory>

using namespace orvplatform::win32;

namespace {

constexpr uint32_t kDefaultErrorCode = 3;

// Copies at most size - 1 characters and always terminates.
void copyBounded(char* dst, std::size_t size, const char* src) {
    if (src == nullptr) {
        dst[0] = '\0';
        return;
    }
    std::size_t n = 0;
    while (n + 1 < size && src[n] != '\0') {
        ++n;
    }
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}

using ull = unsigned long long;

// Every text is cut at the field's bound; snprintf's result is looked at only
// for an encoding error, which leaves the field empty.
template <typename... Values>
void formatInfo(char (&info)[1024], const char* format, Values... values) {
    if (std::snprintf(info, sizeof info, format, values...) < 0) {
        info[0] = '\0';
    }
}

void composeInfo(char (&info)[1024], const EXCEPTION_RECORD& rec) {
    const auto address = reinterpret_cast<ull>(rec.ExceptionAddress);
    if (rec.ExceptionCode == EXCEPTION_ACCESS_VIOLATION) {
        formatInfo(info,
                   "The instruction at 0x%llX referenced memory at 0x%llX. "
                   "The memory could not be %s.",
                   address, static_cast<ull>(rec.ExceptionInformation[1]),
                   rec.ExceptionInformation[0] != 0 ? "write" : "read");
        return;
    }
    if (rec.ExceptionCode == EXCEPTION_IN_PAGE_ERROR) {
        formatInfo(info,
                   "The instruction at 0x%llX referenced memory at 0x%llX. "
                   "The required data was not placed into memory because of an I/O error "
                   "status of 0x%llX.",
                   address, static_cast<ull>(rec.ExceptionInformation[1]),
                   static_cast<ull>(rec.ExceptionInformation[2]));
        return;
    }
    if (rec.NumberParameters == 1) {
        // The parameter is meant to point to a text, but nothing promises it
        // does: read it only through a probe that cannot fault.
        char text[sizeof info];
        if (orvplatform::copyTextIfReadable(
                text, sizeof text, reinterpret_cast<const void*>(rec.ExceptionInformation[0]))) {
            formatInfo(info, "Address : 0x%llX %s", address, static_cast<const char*>(text));
            return;
        }
    }
    formatInfo(info, "Address : 0x%llX", address);
}

}  // namespace

unitCmnException::unitCmnException()
    : errorCode(kDefaultErrorCode),
      fileName{},
      lineNo(0),
      comment{},
      lastError(0),
      info{},
      exceptionRecord{},
      contextRecord{},
      filled(1) {}

unitCmnException::unitCmnException(uint32_t code, EXCEPTION_POINTERS* pointers, const char* file,
                                   uint32_t line, const char* text)
    : unitCmnException() {
    // The record reports the last error of the code that failed, not one that
    // our own allocations might leave behind.
    const DWORD lastError = GetLastError();
    auto builder = std::make_unique<unitCmnExceptions>();
    SetLastError(lastError);
    *this = builder->setException(code, pointers, file, line, text);
}

std::string unitCmnException::getErrorText() const {
    char code[32];
    char last[32];
    std::snprintf(code, sizeof code, "0x%08X\t", static_cast<unsigned>(errorCode));
    std::snprintf(last, sizeof last, "0x%08X\t", static_cast<unsigned>(lastError));
    std::string text;
    text.reserve(64 + std::strlen(info) + std::strlen(comment));
    text.append("ErrorCode :").append(code);
    text.append("\nLastErr :").append(last);
    text.append("\nInfo :").append(info);
    text.append("\nComment :").append(comment);
    return text;
}

unitCmnExceptions::~unitCmnExceptions() {
    delete record_;
}

unitCmnException unitCmnExceptions::setException(uint32_t code, EXCEPTION_POINTERS* pointers,
                                                 const char* file, uint32_t line,
                                                 const char* text) {
    if (record_ == nullptr) {
        const DWORD lastError = GetLastError();
        record_ = new unitCmnException();
        SetLastError(lastError);
    }
    unitCmnException& rec = *record_;
    rec.errorCode = code;
    copyBounded(rec.fileName, sizeof rec.fileName, file);
    rec.lineNo = line;
    copyBounded(rec.comment, sizeof rec.comment, text);
    rec.filled = 1;
    rec.lastError = GetLastError();
    if (pointers != nullptr) {
        if (pointers->ExceptionRecord != nullptr) {
            rec.exceptionRecord = *pointers->ExceptionRecord;
        }
        if (pointers->ContextRecord != nullptr) {
            rec.contextRecord = *pointers->ContextRecord;
        }
        composeInfo(rec.info, rec.exceptionRecord);
    }
    return rec;
}

void translateStructuredException(unsigned int /*code*/, EXCEPTION_POINTERS* pointers) {
    throw unitCmnException(kDefaultErrorCode, pointers, __FILE__, __LINE__, "");
}
