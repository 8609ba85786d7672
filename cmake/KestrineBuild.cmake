# Compiler flags and third-party libraries shared by every target.

add_library(kestrine_warnings INTERFACE)
target_compile_options(kestrine_warnings INTERFACE -Wall -Wextra -Wshadow -Wnon-virtual-dtor)
if(KESTRINE_WERROR)
    target_compile_options(kestrine_warnings INTERFACE -Werror)
endif()

if(KESTRINE_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

if(WIN32)
    # One self-contained exe: no MinGW runtime DLLs beside it.
    add_link_options(-static -static-libgcc -static-libstdc++)
    add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
endif()

if(WIN32)
    # Link zlib into the exe, not its DLL.
    set(ZLIB_USE_STATIC_LIBS ON)
endif()
find_package(ZLIB REQUIRED)
find_path(GCRYPT_INCLUDE_DIR gcrypt.h REQUIRED)
if(WIN32)
    find_library(GCRYPT_LIBRARY NAMES libgcrypt.a gcrypt REQUIRED)
    find_library(GPGERROR_LIBRARY NAMES libgpg-error.a gpg-error REQUIRED)
else()
    find_library(GCRYPT_LIBRARY NAMES gcrypt REQUIRED)
    find_library(GPGERROR_LIBRARY NAMES gpg-error REQUIRED)
endif()

# libdeflate, built by tools/libdeflate from Debian's source package with the piece patch (never a
# system copy: the zip writer needs its compress_piece function).
if(WIN32)
    set(KESTRINE_LIBDEFLATE ${CMAKE_SOURCE_DIR}/build/libdeflate/windows)
else()
    set(KESTRINE_LIBDEFLATE ${CMAKE_SOURCE_DIR}/build/libdeflate/native)
endif()
if(NOT EXISTS ${KESTRINE_LIBDEFLATE}/lib/libdeflate.a)
    message(FATAL_ERROR "libdeflate is not built: run tools/setup (or tools/libdeflate)")
endif()
add_library(kestrine_libdeflate STATIC IMPORTED)
set_target_properties(kestrine_libdeflate PROPERTIES
    IMPORTED_LOCATION ${KESTRINE_LIBDEFLATE}/lib/libdeflate.a
    INTERFACE_INCLUDE_DIRECTORIES ${KESTRINE_LIBDEFLATE}/include)

add_library(kestrine_deps INTERFACE)
target_include_directories(kestrine_deps INTERFACE ${GCRYPT_INCLUDE_DIR})
target_link_libraries(kestrine_deps INTERFACE kestrine_libdeflate ZLIB::ZLIB ${GCRYPT_LIBRARY}
                                              ${GPGERROR_LIBRARY})
if(WIN32)
    target_link_libraries(kestrine_deps INTERFACE ws2_32)
    add_library(kestrine_winlibs INTERFACE)
    target_link_libraries(kestrine_winlibs INTERFACE advapi32 user32 gdi32 comctl32 comdlg32 shell32 uxtheme
                                                     ole32 oleaut32 uuid wbemuuid ws2_32 version crypt32)
else()
    find_package(Threads REQUIRED)
    target_link_libraries(kestrine_deps INTERFACE Threads::Threads)
endif()

# kestrine_sources(CORE file... CORE_WINDOWS file... POSIX file... WINDOWS file...): a module's
# sources. CORE files need no operating system and go into kestrine_core (built natively too).
# CORE_WINDOWS and POSIX files are the two system twins of what the core needs from the system (file
# streams, code pages): the first goes into kestrine_core in the Windows build, the second in the
# native build. WINDOWS files go into kestrine_win (the Windows build only).
function(kestrine_sources)
    cmake_parse_arguments(ARG "" "" "CORE;CORE_WINDOWS;WINDOWS;POSIX" ${ARGN})
    if(ARG_CORE)
        target_sources(kestrine_core PRIVATE ${ARG_CORE})
    endif()
    if(WIN32 AND ARG_CORE_WINDOWS)
        target_sources(kestrine_core PRIVATE ${ARG_CORE_WINDOWS})
    endif()
    if(WIN32 AND ARG_WINDOWS)
        target_sources(kestrine_win PRIVATE ${ARG_WINDOWS})
    endif()
    if(NOT WIN32 AND ARG_POSIX)
        target_sources(kestrine_core PRIVATE ${ARG_POSIX})
    endif()
endfunction()
