// The process-wide logger and the three logging statements every function at
// the analyzer's boundary uses.
//
// Records only: sinks, filters and formatting belong to the host, which
// configures them on the Boost.Log core it shares with us (Boost.Log must be
// linked as a shared library everywhere, BOOST_LOG_DYN_LINK).
//
// Each statement is a macro because it captures the file, line and function
// signature of the place where it is written. When the core rejects a record
// (logging disabled, filtered out), nothing after the severity is evaluated:
// no attribute value is built and no message is formatted.
//
//   RYNLOG_ENTRY();            severity 10, "InOutType" "-->", no message
//   RYNLOG_ERROR(text);        severity 13, "InOutType" " ",   the text
//   RYNLOG_EXIT(result);       severity 10, "InOutType" "<--", true/false
//
// RYNLOG_EXIT is written inside a BOOST_SCOPE_EXIT_ALL(&) block after the
// function's handlers, so that it runs last. It swallows a failure to write
// the record: it runs from a destructor, and the function's result matters
// more than its exit record.
#pragma once

#ifndef BOOST_LOG_DYN_LINK
#define BOOST_LOG_DYN_LINK 1
#endif

#include <string>

#include <boost/current_function.hpp>
#include <boost/log/attributes/attribute_name.hpp>
#include <boost/log/attributes/clock.hpp>
#include <boost/log/attributes/constant.hpp>
#include <boost/log/attributes/current_process_name.hpp>
#include <boost/log/attributes/current_thread_id.hpp>
#include <boost/log/sources/global_logger_storage.hpp>
#include <boost/log/sources/record_ostream.hpp>
#include <boost/log/sources/severity_logger.hpp>
#include <boost/log/utility/manipulators/add_value.hpp>
#include <boost/preprocessor/stringize.hpp>
#include <boost/scope_exit.hpp>

#include "orvplatform/win32.h"
#if defined(RYNCMNLOG_PROCESS_LOGGER)
#include "unitcmnlog_export.h"
#endif

namespace RynCmnLog {

// Only inout (10) and error (13) are written by the analyzer; the others are
// there for hosts that share the enumeration.
enum severity_level {
    trace = 0,
    debug = 5,
    inout = 10,
    info = 11,
    warning = 12,
    error = 13,
    fatal = 14,
};

using severity_logger = boost::log::sources::severity_logger_mt<severity_level>;

// One logger per process: every module that declares this tag with this
// logger type and shares the Boost.Log library finds the same instance in
// Boost.Log's global storage; the first module that logs creates it.
//
// The logger, its holder and its attributes run code of the module that
// creates them, while Boost.Log's global storage keeps them for the whole
// process, so that module must stay loaded. The analyzer never creates it:
// built with RYNCMNLOG_PROCESS_LOGGER (from linking the unitcmnlog shared
// library), its statements take the logger from processLogger() in that
// library, which is pinned when it is loaded, and the analyzer itself can
// unload. Any other module that uses this header without that library pins
// itself before its first record (detail::logger()).
//
// The body runs while Boost.Log holds the lock of its global storage, so it
// must not call the loader: a thread inside dlopen that runs a constructor
// which logs holds the loader's lock and waits for this one.
BOOST_LOG_INLINE_GLOBAL_LOGGER_INIT(glob_logger, severity_logger) {
    severity_logger lg;
    lg.add_attribute("TimeStamp", boost::log::attributes::local_clock());
    lg.add_attribute("UTCTimeStamp", boost::log::attributes::utc_clock());
    lg.add_attribute("Process", boost::log::attributes::constant<std::string>(
                                    boost::log::aux::get_process_name()));
    lg.add_attribute("ThreadID", boost::log::attributes::current_thread_id());
    return lg;
}

#if defined(RYNCMNLOG_PROCESS_LOGGER)
// glob_logger::get(), called inside the unitcmnlog library (which stays
// loaded for the rest of the process from the moment it is loaded).
UNITCMNLOG_EXPORT severity_logger& processLogger();
#endif

namespace detail {

// Attribute names are registered in Boost.Log's global name table under a
// lock; look them up once, not per record.
struct RecordNames {
    boost::log::attribute_name srcFile{"SrcFile"};
    boost::log::attribute_name srcLine{"SrcLine"};
    boost::log::attribute_name currentFunction{"CurrentFunction"};
    boost::log::attribute_name inOutType{"InOutType"};
    boost::log::attribute_name messageId{"messageId"};
};

// The logger every statement writes to. Boost.Log's own fast path reads its
// once-block flag without an atomic, so only the first call of this module
// goes through it: the thread-safe initialisation of the static makes every
// other thread wait for that call and then see the finished logger.
inline severity_logger& logger() {
#if defined(RYNCMNLOG_PROCESS_LOGGER)
    static severity_logger& instance = processLogger();
#else
    // Pinned before Boost.Log takes any lock (see glob_logger): this module
    // may be the one that creates the logger.
    static severity_logger& instance =
        (::orvplatform::keepModuleLoaded(reinterpret_cast<const void*>(&glob_logger::get)),
         glob_logger::get());
#endif
    return instance;
}

inline const RecordNames& recordNames() {
    static const RecordNames names;
    return names;
}

// The part of a compile-time path after its last separator. Backslash is the
// separator the records are defined by; '/' is cut as well so that records
// from POSIX builds read the same.
constexpr const char* baseName(const char* path) {
    const char* base = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '\\' || *p == '/') {
            base = p + 1;
        }
    }
    return base;
}

}  // namespace detail
}  // namespace RynCmnLog

// clang-format off
#define RYNCMNLOG_RECORD_(severity_, inOut_)                                                           \
    BOOST_LOG_SEV(::RynCmnLog::detail::logger(), (severity_))                                          \
        << ::boost::log::add_value(::RynCmnLog::detail::recordNames().srcFile,                          \
                                   std::string(::RynCmnLog::detail::baseName(__FILE__)))                \
        << ::boost::log::add_value(::RynCmnLog::detail::recordNames().srcLine,                          \
                                   std::string(BOOST_PP_STRINGIZE(__LINE__)))                           \
        << ::boost::log::add_value(::RynCmnLog::detail::recordNames().currentFunction,                  \
                                   std::string(BOOST_CURRENT_FUNCTION))                                 \
        << ::boost::log::add_value(::RynCmnLog::detail::recordNames().inOutType, std::string(inOut_)) \
        << ::boost::log::add_value(::RynCmnLog::detail::recordNames().messageId, std::string())
// clang-format on

#define RYNLOG_ENTRY() RYNCMNLOG_RECORD_(::RynCmnLog::inout, "-->")

#define RYNLOG_ERROR(message) RYNCMNLOG_RECORD_(::RynCmnLog::error, " ") << (message)

#define RYNLOG_EXIT(result)                                                            \
    do {                                                                               \
        try {                                                                          \
            RYNCMNLOG_RECORD_(::RynCmnLog::inout, "<--") << static_cast<bool>(result); \
        } catch (...) {                                                                \
        }                                                                              \
    } while (false)
