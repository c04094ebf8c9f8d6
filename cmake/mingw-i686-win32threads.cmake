# The toolchain Setup.exe ships with: the same MinGW-w64 i686 compilers with the
# Win32 thread model. The posix model links winpthreads, whose imports
# (GetTickCount64, AddVectoredExceptionHandler, TryEnterCriticalSection, ...) do
# not exist on Windows 9x and partly not on XP, so the loader would refuse the setup
# there. The tests keep the posix model: GoogleTest needs std::mutex.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-win32)
