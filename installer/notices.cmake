# cmake -DOUTPUT=<file> -DHEAD=<THIRD-PARTY-NOTICES.txt> -DLIBDEFLATE_COPYING=<file> -P notices.cmake
# The THIRD-PARTY-NOTICES.txt that the packages ship: the summary, then the full copyright and
# licence texts of everything linked into the programs. A text that cannot be found stops the
# build: a package never ships incomplete notices.
set(texts
    "libdeflate|${LIBDEFLATE_COPYING}"
    "zlib|/usr/share/doc/libz-mingw-w64-dev/copyright"
    "Libgcrypt|/usr/share/doc/libgcrypt-mingw-w64-dev/copyright"
    "libgpg-error|/usr/share/doc/libgpg-error-mingw-w64-dev/copyright"
    "The GCC runtime (libstdc++, libgcc) and the GCC Runtime Library Exception|/usr/share/doc/gcc-mingw-w64-base/copyright"
    "The MinGW-w64 runtime and winpthreads|/usr/share/doc/mingw-w64-x86-64-dev/copyright"
    "GNU Lesser General Public License, version 2.1|/usr/share/common-licenses/LGPL-2.1")
file(READ "${HEAD}" notices)
foreach(entry IN LISTS texts)
    string(REPLACE "|" ";" entry "${entry}")
    list(GET entry 0 name)
    list(GET entry 1 path)
    if(NOT EXISTS "${path}")
        message(FATAL_ERROR "The notices of ${name} are missing: no ${path}")
    endif()
    file(READ "${path}" text)
    string(APPEND notices "\n\n========================================================================\n"
                          "${name}\n(${path})\n"
                          "========================================================================\n\n"
                          "${text}")
endforeach()
# Notepad shows the file, so its lines end in CR LF.
string(REPLACE "\r\n" "\n" notices "${notices}")
string(REPLACE "\n" "\r\n" notices "${notices}")
file(WRITE "${OUTPUT}.tmp" "${notices}")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
