# Every installed header in one host translation unit that first declares,
# in the global namespace, what other libraries a host uses declare there:
# X11's BOOL and BYTE, glib's TRUE and FALSE, and the other Win32 names of
# the platform layer as something else. It compiles only if the headers keep
# all of those in the project's namespaces and define none of them as macros.
#   -DBUILD_DIR -DWORK_DIR -DCXX_COMPILER
cmake_minimum_required(VERSION 3.25)

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
include(${CMAKE_CURRENT_LIST_DIR}/../support/run.cmake)
run(0 ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --component dev)
file(GLOB_RECURSE headers RELATIVE ${prefix}/include ${prefix}/include/*.h)
list(SORT headers)
list(LENGTH headers count)
if(count LESS 8)
  message(FATAL_ERROR "only ${count} headers installed: ${headers}")
endif()

set(tu [=[
// X11's Xmd.h and glib's gtypes.h, as a host has them.
typedef unsigned char BOOL;
typedef unsigned char BYTE;
#define FALSE (0)
#define TRUE (!FALSE)
// The platform layer's other Win32 names, as something else of the host's.
typedef long WORD, DWORD, DWORD64, ULONG_PTR, LPVOID, LPCWSTR, LPCSTR, HINSTANCE, HMODULE;
typedef long FARPROC, PEXCEPTION_RECORD, PCONTEXT, PEXCEPTION_POINTERS, ForeignProc;
int LoadLibraryW, GetProcAddress, FreeLibrary, GetLastError, SetLastError, CopyMemory;
enum HostCodes { DLL_PROCESS_ATTACH, EXCEPTION_ACCESS_VIOLATION, EXCEPTION_MAXIMUM_PARAMETERS };
]=])
foreach(header ${headers})
  string(APPEND tu "#include \"${header}\"\n")
endforeach()
string(APPEND tu [=[
#if defined(WINAPI) || defined(APIENTRY)
#error "an installed header defines a Win32 macro"
#endif
int main() {
    BOOL host = TRUE;
    EXCEPTION_POINTERS pointers{};  // the names hosts read from a record stay
    return host + (pointers.ExceptionRecord != nullptr) + static_cast<int>(sizeof(CONTEXT) == 0);
}
]=])
file(WRITE ${WORK_DIR}/host.cpp "${tu}")
execute_process(COMMAND ${CXX_COMPILER} -std=c++17 -Wall -Wextra -Werror -fsyntax-only
  -I${prefix}/include ${WORK_DIR}/host.cpp RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "a host with X11's and glib's names does not compile with\n${headers}\n${err}")
endif()
