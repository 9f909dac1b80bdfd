// POSIX module loading behind LoadLibraryW / GetProcAddress / FreeLibrary.
#include <dlfcn.h>
#include <link.h>

#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "modulename.h"
#include "orvplatform/win32.h"

using namespace orvplatform::win32;

namespace {

// Room for the longest path the loader takes, its NUL, and the three
// characters that are kept free in front of it while it is converted.
constexpr std::size_t kNameCapacity = PATH_MAX + 4;

// Appends c as UTF-8 (names are ASCII in practice). False when it would leave
// no room for a NUL.
bool putUtf8(char32_t c, char* out, std::size_t& length, std::size_t capacity) {
    if (c < 0x80) {
        if (length + 1 >= capacity) {
            return false;
        }
        out[length++] = static_cast<char>(c);
        return true;
    }
    const std::size_t n = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    if (length + n >= capacity) {
        return false;
    }
    // Lead byte: n high bits set, then the top bits of c; then 6 bits a byte.
    static constexpr unsigned char kLead[] = {0, 0, 0xC0, 0xE0, 0xF0};
    char* p = out + length;
    length += n;
    for (std::size_t i = n - 1; i > 0; --i) {
        p[i] = static_cast<char>(0x80 | (c & 0x3F));
        c >>= 6;
    }
    p[0] = static_cast<char>(kLead[n] | c);
    return true;
}

bool endsWithDll(const char* name, std::size_t length) {
    if (length < 4) {
        return false;
    }
    const char* ext = name + length - 4;
    return (ext[0] == '.') && (ext[1] == 'd' || ext[1] == 'D') &&
           (ext[2] == 'l' || ext[2] == 'L') && (ext[3] == 'l' || ext[3] == 'L');
}

// The directory, with its trailing '/', of the module this code is linked
// into; empty when the loader cannot tell.
std::string ownDirectory() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&ownDirectory), &info) == 0 ||
        info.dli_fname == nullptr) {
        return {};
    }
    const std::string path = info.dli_fname;
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// glibc's loader lock puts a thread that finds it taken to sleep at once, and
// waking it costs more than the other thread's whole dlopen of a module that
// is already loaded. Our own loader calls therefore take turns here first,
// spinning for a few microseconds at most: a turn is a courtesy, not a lock.
// A thread that waited its limit goes on to the loader's lock as without us,
// so nothing can deadlock on it (a module initialiser that loads a module
// again on the same thread goes straight on as the turn's holder).
class LoaderTurn {
public:
    LoaderTurn() noexcept : self_(static_cast<std::uintptr_t>(pthread_self())) {
        if (holder_.load(std::memory_order_relaxed) == self_ || take()) {
            return;
        }
        const auto giveUp = std::chrono::steady_clock::now() + kPatience;
        do {
            for (int i = 0; i < 16; ++i) {
                relax();
            }
            if (take()) {
                return;
            }
        } while (std::chrono::steady_clock::now() < giveUp);
    }
    ~LoaderTurn() {
        if (held_) {
            holder_.store(0, std::memory_order_release);
        }
    }
    LoaderTurn(const LoaderTurn&) = delete;
    LoaderTurn& operator=(const LoaderTurn&) = delete;

private:
    // Some twenty dlopens of a module that is already in the process; a
    // thread that takes longer is loading one for real, and its waiter may as
    // well sleep.
    static constexpr std::chrono::microseconds kPatience{20};

    bool take() noexcept {
        std::uintptr_t expected = 0;
        held_ = holder_.load(std::memory_order_relaxed) == 0 &&
                holder_.compare_exchange_strong(expected, self_, std::memory_order_acquire,
                                                std::memory_order_relaxed);
        return held_;
    }

    static void relax() noexcept {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#elif defined(__aarch64__)
        asm volatile("yield");
#endif
    }

    // On a cache line of its own: it is written on every loader call, and the
    // module's other statics (the keys, the logger's reference) are read on
    // every call by both threads.
    struct alignas(64) Holder : std::atomic<std::uintptr_t> {
        using std::atomic<std::uintptr_t>::atomic;
        char padding[64 - sizeof(std::atomic<std::uintptr_t>)];
    };
    static Holder holder_;
    const std::uintptr_t self_;
    bool held_ = false;
};

LoaderTurn::Holder LoaderTurn::holder_{0};

// ELF64_ST_TYPE and ELF32_ST_TYPE agree, as do the ST_BIND pair.
unsigned symbolType(const ElfW(Sym) & symbol) {
    return ELF64_ST_TYPE(symbol.st_info);
}
unsigned symbolBinding(const ElfW(Sym) & symbol) {
    return ELF64_ST_BIND(symbol.st_info);
}

// GetProcAddress reads the module's own export table, as on Windows: dlsym
// would also search the module's dependencies, and it takes the loader's lock,
// which every dlopen and dlclose of every thread takes too. On two threads each
// of the five lookups of a round trip could wait there for the other thread's
// loader call; the table needs no lock while our reference holds the module.
class ExportTable {
public:
    // The loader wrote the link map while it loaded the module, under its own
    // lock, and our caller's dlopen took that lock afterwards to hand the
    // module out: the fields are complete and stay unchanged while the
    // reference is held. ThreadSanitizer does not see the loader's lock (nor
    // the same reads that dlsym made inside the loader), so it would take
    // the map's allocation in another thread's dlopen for a race.
    __attribute__((no_sanitize("thread"))) explicit ExportTable(const link_map& module)
        : base_(module.l_addr) {
        for (const ElfW(Dyn)* entry = module.l_ld; entry != nullptr && entry->d_tag != DT_NULL;
             ++entry) {
            switch (entry->d_tag) {
                case DT_GNU_HASH:
                    hash_ = address<std::uint32_t>(entry->d_un.d_ptr);
                    break;
                case DT_SYMTAB:
                    symbols_ = address<ElfW(Sym)>(entry->d_un.d_ptr);
                    break;
                case DT_STRTAB:
                    names_ = address<char>(entry->d_un.d_ptr);
                    break;
                case DT_VERSYM:
                    versions_ = address<ElfW(Half)>(entry->d_un.d_ptr);
                    break;
                default:
                    break;
            }
        }
    }

    // False when the module has no GNU hash table to search.
    bool searchable() const { return hash_ != nullptr && symbols_ != nullptr && names_ != nullptr; }

    // The defined, exported, default-version symbol called name, or null.
    const ElfW(Sym) * find(const char* name) const {
        std::uint32_t h = 5381;
        for (const char* p = name; *p != '\0'; ++p) {
            h = h * 33 + static_cast<unsigned char>(*p);
        }
        const std::uint32_t buckets = hash_[0];
        const std::uint32_t firstHashed = hash_[1];
        const std::uint32_t bloomWords = hash_[2];
        const std::uint32_t bloomShift = hash_[3];
        const auto* bloom = reinterpret_cast<const ElfW(Addr)*>(hash_ + 4);
        const auto* bucket = reinterpret_cast<const std::uint32_t*>(bloom + bloomWords);
        const std::uint32_t* chain = bucket + buckets;
        if (buckets == 0 || bloomWords == 0) {
            return nullptr;
        }
        constexpr unsigned kBits = sizeof(ElfW(Addr)) * CHAR_BIT;
        const ElfW(Addr) word = bloom[(h / kBits) % bloomWords];
        const ElfW(Addr) mask =
            (ElfW(Addr){1} << (h % kBits)) | (ElfW(Addr){1} << ((h >> bloomShift) % kBits));
        if ((word & mask) != mask) {
            return nullptr;
        }
        std::uint32_t index = bucket[h % buckets];
        if (index < firstHashed) {
            return nullptr;
        }
        for (;; ++index) {
            const std::uint32_t chained = chain[index - firstHashed];
            const ElfW(Sym)& symbol = symbols_[index];
            if ((chained | 1) == (h | 1) && std::strcmp(names_ + symbol.st_name, name) == 0 &&
                exported(index, symbol)) {
                return &symbol;
            }
            if ((chained & 1) != 0) {
                return nullptr;
            }
        }
    }

    // What the symbol's value points at in the loaded module.
    void* addressOf(const ElfW(Sym) & symbol) const {
        return reinterpret_cast<void*>(base_ + symbol.st_value);
    }

private:
    // The loader relocates the dynamic section's addresses in place where the
    // section is writable and leaves them relative where it is not; a relative
    // address is always below the load address of a shared object.
    template <typename T>
    const T* address(ElfW(Addr) value) const {
        return reinterpret_cast<const T*>(value < base_ ? base_ + value : value);
    }

    bool exported(std::uint32_t index, const ElfW(Sym) & symbol) const {
        const unsigned binding = symbolBinding(symbol);
        const unsigned type = symbolType(symbol);
        // Hidden versions (bit 15) are reachable by dlvsym only.
        const bool defaultVersion = versions_ == nullptr || (versions_[index] & 0x8000) == 0;
        return symbol.st_shndx != SHN_UNDEF && symbol.st_value != 0 && defaultVersion &&
               (binding == STB_GLOBAL || binding == STB_WEAK || binding == STB_GNU_UNIQUE) &&
               (type == STT_FUNC || type == STT_OBJECT || type == STT_NOTYPE ||
                type == STT_GNU_IFUNC);
    }

    ElfW(Addr) base_;
    const std::uint32_t* hash_ = nullptr;
    const ElfW(Sym) * symbols_ = nullptr;
    const char* names_ = nullptr;
    const ElfW(Half) * versions_ = nullptr;
};

// The loaded object whose mapping holds address, or null, for modules without
// a GNU hash table. _dl_find_object (glibc 2.35) reads the loader's tables
// without a lock, where dladdr1 takes it.
link_map* objectContaining(const void* address) {
#if defined(DLFO_STRUCT_HAS_EH_DBASE)
    dl_find_object found{};
    return _dl_find_object(const_cast<void*>(address), &found) == 0 ? found.dlfo_link_map : nullptr;
#else
    Dl_info info{};
    link_map* found = nullptr;
    return dladdr1(address, &info, reinterpret_cast<void**>(&found), RTLD_DL_LINKMAP) != 0
               ? found
               : nullptr;
#endif
}

// dlsym, kept to modules that the export table cannot search: it also
// searches the module's dependencies, so a function found elsewhere is not
// one the module provides.
void* ownSymbolByLoader(void* module, const link_map* own, const char* name) {
    void* symbol = dlsym(module, name);
    return symbol != nullptr && objectContaining(symbol) == own ? symbol : nullptr;
}

}  // namespace

namespace orvplatform {
namespace detail {

bool platformModuleName(LPCWSTR windowsName, char* out, std::size_t capacity) {
    // Converted three characters in, so that "lib" fits in front of the file
    // name by moving only the directory part.
    constexpr std::size_t kPrefix = 3;
    std::size_t length = kPrefix;
    std::size_t fileStart = kPrefix;  // just after the last '/'
    for (; *windowsName != L'\0'; ++windowsName) {
        const auto c = static_cast<char32_t>(*windowsName);
        if (!putUtf8(c, out, length, capacity)) {
            return false;
        }
        if (c == U'/') {
            fileStart = length;
        }
    }
    char* converted = out + kPrefix;
    length -= kPrefix;
    fileStart -= kPrefix;
    if (!endsWithDll(converted, length)) {
        std::memmove(out, converted, length);
        out[length] = '\0';
        return true;
    }
    std::memmove(out, converted, fileStart);
    std::memcpy(out + fileStart, "lib", kPrefix);
    // The stem already follows "lib"; ".dll" becomes ".so".
    std::memcpy(converted + length - 4, ".so", 4);
    return true;
}

}  // namespace detail

void keepModuleLoaded(const void* address) noexcept {
    Dl_info info{};
    if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) {
        return;
    }
    // RTLD_NOLOAD | RTLD_NODELETE promotes the loaded object; the reference it
    // takes is given back at once.
    if (void* handle = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE)) {
        dlclose(handle);
    }
}

}  // namespace orvplatform

namespace orvplatform {
namespace win32 {

HMODULE LoadLibraryW(LPCWSTR fileName) {
    if (fileName == nullptr) {
        errno = EINVAL;
        return nullptr;
    }
    char name[kNameCapacity];
    if (!orvplatform::detail::platformModuleName(fileName, name, sizeof name)) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    // dlopen searches with the run path of the object that calls it, which is
    // the module this layer is linked into: that is what puts the common
    // module beside the analyzer first after LD_LIBRARY_PATH.
    // The path search leaves ENOENT behind even when it succeeds; as with
    // LoadLibraryW, only a failure may change the last error.
    const int savedErrno = errno;
    errno = 0;
    void* handle = nullptr;
    {
        const LoaderTurn turn;
        handle = dlopen(name, RTLD_NOW | RTLD_LOCAL);
    }
    // The run path comes from dlopen's caller. Where dlopen is interposed
    // (AddressSanitizer, ThreadSanitizer, preloaded hooks) the caller is the
    // interposer and our $ORIGIN is never searched: look beside this module
    // ourselves. For the analyzer, whose run path is $ORIGIN, this adds
    // nothing when dlopen is not interposed.
    if (handle == nullptr && std::strchr(name, '/') == nullptr) {
        const std::string directory = ownDirectory();
        if (!directory.empty()) {
            handle = dlopen((directory + name).c_str(), RTLD_NOW | RTLD_LOCAL);
        }
    }
    if (handle != nullptr) {
        errno = savedErrno;
    } else if (errno == 0) {
        errno = ENOENT;
    }
    return static_cast<HMODULE>(handle);
}

// Not instrumented for ThreadSanitizer, for the reason ExportTable's
// constructor gives: the constructor is inlined here.
__attribute__((no_sanitize("thread"))) FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
    if (module == nullptr || procName == nullptr) {
        return nullptr;
    }
    link_map* own = nullptr;
    if (dlinfo(module, RTLD_DI_LINKMAP, &own) != 0 || own == nullptr) {
        return nullptr;
    }
    const ExportTable exports(*own);
    if (!exports.searchable()) {
        return reinterpret_cast<FARPROC>(ownSymbolByLoader(module, own, procName));
    }
    const ElfW(Sym)* symbol = exports.find(procName);
    if (symbol == nullptr) {
        return nullptr;
    }
    // Only the loader may run an indirect function's resolver.
    if (symbolType(*symbol) == STT_GNU_IFUNC) {
        return reinterpret_cast<FARPROC>(ownSymbolByLoader(module, own, procName));
    }
    return reinterpret_cast<FARPROC>(exports.addressOf(*symbol));
}

BOOL FreeLibrary(HMODULE module) {
    if (module == nullptr) {
        return 0;
    }
    const LoaderTurn turn;
    return dlclose(module) == 0 ? 1 : 0;
}

DWORD GetLastError() {
    return static_cast<DWORD>(errno);
}

void SetLastError(DWORD error) {
    errno = static_cast<int>(error);
}

}  // namespace win32
}  // namespace orvplatform
