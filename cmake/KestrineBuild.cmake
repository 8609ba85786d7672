# Compiler flags and third-party libraries shared by every target.

add_library(kestrine_warnings INTERFACE)
target_compile_options(kestrine_warnings INTERFACE -Wall -Wextra -Wshadow -Wnon-virtual-dtor)
if(KESTRINE_WERROR)
    target_compile_options(kestrine_warnings INTERFACE -Werror)
endif()

if(KESTRINE_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
    # The standard library checks its own preconditions too (an empty optional read, an index past
    # the end), so a broken invariant stops a test where it happens.
    add_compile_definitions(_GLIBCXX_ASSERTIONS)
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

# Modules are libraries, one per folder of src/, declared floor by floor in the top-level
# CMakeLists.txt. A module sees only its own headers and those of the modules it reaches through
# its DEPENDS: its include root (build/module-includes/<target>) holds links to just those folders,
# so an include that runs back up a floor fails to compile.

# The library of module `name` ("ui/win" -> kestrine_ui_win).
function(kestrine_module_target name out)
    string(REPLACE "/" "_" target "kestrine_${name}")
    set(${out} ${target} PARENT_SCOPE)
endfunction()

# kestrine_module(NAME [DEPENDS module...]): declares module src/NAME, which may include the
# modules of DEPENDS and everything they reach.
function(kestrine_module name)
    cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
    kestrine_module_target(${name} target)
    set(reach ${name})
    foreach(dep ${ARG_DEPENDS})
        get_property(declared GLOBAL PROPERTY KESTRINE_MODULES)
        if(NOT dep IN_LIST declared)
            message(FATAL_ERROR "Module ${name} depends on ${dep}, which is not declared below it")
        endif()
        get_property(dep_reach GLOBAL PROPERTY KESTRINE_REACH_${dep})
        list(APPEND reach ${dep_reach})
    endforeach()
    list(REMOVE_DUPLICATES reach)
    set_property(GLOBAL PROPERTY KESTRINE_REACH_${name} ${reach})
    set_property(GLOBAL APPEND PROPERTY KESTRINE_MODULES ${name})
    set_property(GLOBAL APPEND PROPERTY KESTRINE_MODULE_TARGETS ${target})

    add_library(${target} STATIC)
    target_include_directories(${target} PUBLIC ${CMAKE_BINARY_DIR}/module-includes/${target})
    target_link_libraries(${target} PUBLIC kestrine_deps PRIVATE kestrine_warnings)
    foreach(dep ${ARG_DEPENDS})
        kestrine_module_target(${dep} dep_target)
        target_link_libraries(${target} PUBLIC ${dep_target})
    endforeach()
endfunction()

# Makes every module's include root once all modules are declared. A folder whose subfolder is a
# module of its own (ui and ui/win) is linked entry by entry, without that subfolder, into the
# roots of modules that may not reach the subfolder.
function(kestrine_module_include_roots)
    get_property(modules GLOBAL PROPERTY KESTRINE_MODULES)
    set(src ${CMAKE_SOURCE_DIR}/src)
    foreach(name ${modules})
        kestrine_module_target(${name} target)
        set(root ${CMAKE_BINARY_DIR}/module-includes/${target})
        file(REMOVE_RECURSE ${root})
        get_property(reach GLOBAL PROPERTY KESTRINE_REACH_${name})
        foreach(module ${reach})
            set(nested FALSE)
            foreach(other ${reach})
                if(module MATCHES "^${other}/")
                    set(nested TRUE)  # comes with its parent's folder
                endif()
            endforeach()
            if(nested)
                continue()
            endif()
            # A subfolder with a CMakeLists.txt of its own is a module of its own (also where this
            # build leaves it out, as the native one does ui/win).
            set(hidden "")
            file(GLOB nested LIST_DIRECTORIES false ${src}/${module}/*/CMakeLists.txt)
            foreach(file ${nested})
                get_filename_component(folder ${file} DIRECTORY)
                file(RELATIVE_PATH other ${src} ${folder})
                if(NOT other IN_LIST reach)
                    list(APPEND hidden ${folder})
                endif()
            endforeach()
            if(NOT hidden)
                get_filename_component(parent ${root}/${module} DIRECTORY)
                file(MAKE_DIRECTORY ${parent})
                file(CREATE_LINK ${src}/${module} ${root}/${module} SYMBOLIC)
                continue()
            endif()
            file(MAKE_DIRECTORY ${root}/${module})
            file(GLOB entries CONFIGURE_DEPENDS LIST_DIRECTORIES true ${src}/${module}/*)
            foreach(entry ${entries})
                if(NOT entry IN_LIST hidden)
                    get_filename_component(leaf ${entry} NAME)
                    file(CREATE_LINK ${entry} ${root}/${module}/${leaf} SYMBOLIC)
                endif()
            endforeach()
        endforeach()
    endforeach()
endfunction()

# kestrine_sources(CORE file... CORE_WINDOWS file... POSIX file... WINDOWS file...): the sources of
# the module whose folder calls it. CORE files need no operating system and are built natively
# too. CORE_WINDOWS and POSIX files are the two system twins of what the portable code needs from
# the system (file streams, code pages): the first is built for Windows, the second natively.
# WINDOWS files are built for Windows only.
function(kestrine_sources)
    cmake_parse_arguments(ARG "" "" "CORE;CORE_WINDOWS;WINDOWS;POSIX" ${ARGN})
    file(RELATIVE_PATH name ${CMAKE_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR})
    # Only the platform layer speaks to a system, and only the windows are Windows' alone: the
    # logic above them is the same everywhere, so it runs natively under the sanitizers.
    if((ARG_CORE_WINDOWS OR ARG_POSIX) AND NOT name STREQUAL "platform")
        message(FATAL_ERROR "src/${name}: system twins belong in src/platform")
    endif()
    if(ARG_WINDOWS AND NOT name MATCHES "^(platform|ui/win)$")
        message(FATAL_ERROR "src/${name}: Windows-only sources belong in src/platform or src/ui/win")
    endif()
    kestrine_module_target(${name} target)
    if(NOT TARGET ${target})
        # ui/win is a module of the Windows build only.
        if(ARG_CORE OR ARG_POSIX OR WIN32)
            message(FATAL_ERROR "src/${name} is not a declared module")
        endif()
        return()
    endif()
    if(ARG_CORE)
        target_sources(${target} PRIVATE ${ARG_CORE})
    endif()
    if(WIN32 AND ARG_CORE_WINDOWS)
        target_sources(${target} PRIVATE ${ARG_CORE_WINDOWS})
    endif()
    if(WIN32 AND ARG_WINDOWS)
        target_sources(${target} PRIVATE ${ARG_WINDOWS})
    endif()
    if(NOT WIN32 AND ARG_POSIX)
        target_sources(${target} PRIVATE ${ARG_POSIX})
    endif()
endfunction()

# kestrine_check_reach(TARGET MODULE): fails the configure step when TARGET links, directly or
# through what it links, a module that MODULE does not reach through its DEPENDS, or a library of
# the tests (their stand-ins among them). A tool built on one floor (kestrine-zip on archive) so
# keeps to it.
function(kestrine_check_reach target module)
    get_property(reach GLOBAL PROPERTY KESTRINE_REACH_${module})
    set(allowed "")
    foreach(name ${reach})
        kestrine_module_target(${name} allowed_target)
        list(APPEND allowed ${allowed_target})
    endforeach()
    get_property(modules GLOBAL PROPERTY KESTRINE_MODULE_TARGETS)
    set(seen "")
    set(queue ${target})
    list(LENGTH queue left)
    while(left GREATER 0)
        list(POP_FRONT queue current)
        list(LENGTH queue left)
        if(current IN_LIST seen OR NOT TARGET ${current})
            continue()
        endif()
        list(APPEND seen ${current})
        if(current IN_LIST modules AND NOT current IN_LIST allowed)
            message(FATAL_ERROR "${target} links ${current}, which ${module} does not reach")
        endif()
        get_target_property(home ${current} SOURCE_DIR)
        string(FIND "${home}/" "${CMAKE_SOURCE_DIR}/tests/" at)
        if(at EQUAL 0)
            message(FATAL_ERROR "${target} links ${current}, which belongs to the tests")
        endif()
        get_target_property(links ${current} LINK_LIBRARIES)
        get_target_property(interface_links ${current} INTERFACE_LINK_LIBRARIES)
        foreach(link ${links} ${interface_links})
            string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" link "${link}")
            if(TARGET ${link})
                list(APPEND queue ${link})
            endif()
        endforeach()
        list(LENGTH queue left)
    endwhile()
endfunction()
