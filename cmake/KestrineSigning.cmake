# Authenticode signing of what the Windows build ships: kestrine.exe, kestrine-zip.exe and both
# packages. A release engineer sets KESTRINE_SIGN_PFX (the certificate and key, a PKCS#12 file),
# KESTRINE_SIGN_PASSWORD and, for a timestamp, KESTRINE_SIGN_TIMESTAMP (an RFC 3161 server) before
# configuring. The password is read from the environment when each file is signed and is written
# into no build file. Without a certificate everything is built unsigned, and configuring says so.
set(KESTRINE_SIGN_COMMAND "")
if(WIN32)
    if(DEFINED ENV{KESTRINE_SIGN_PFX} AND NOT "$ENV{KESTRINE_SIGN_PFX}" STREQUAL "")
        get_filename_component(pfx "$ENV{KESTRINE_SIGN_PFX}" ABSOLUTE)
        if(NOT EXISTS "${pfx}")
            message(FATAL_ERROR "KESTRINE_SIGN_PFX names ${pfx}, which does not exist")
        endif()
        if(NOT DEFINED ENV{KESTRINE_SIGN_PASSWORD})
            message(FATAL_ERROR "KESTRINE_SIGN_PFX is set but KESTRINE_SIGN_PASSWORD is not")
        endif()
        set(KESTRINE_SIGN_COMMAND --pfx ${pfx})
        if(NOT "$ENV{KESTRINE_SIGN_TIMESTAMP}" STREQUAL "")
            list(APPEND KESTRINE_SIGN_COMMAND --timestamp $ENV{KESTRINE_SIGN_TIMESTAMP})
        endif()
        message(STATUS "Signing kestrine.exe, kestrine-zip.exe and the packages with ${pfx}")
    else()
        message(STATUS "KESTRINE_SIGN_PFX is not set: kestrine.exe, kestrine-zip.exe and the "
                       "packages are built unsigned")
    endif()
endif()

# Signs a program target's file in place once it is linked, when a certificate was given.
function(kestrine_sign_after_build target)
    if(KESTRINE_SIGN_COMMAND)
        add_custom_command(TARGET ${target} POST_BUILD
                           COMMAND ${CMAKE_SOURCE_DIR}/tools/sign ${KESTRINE_SIGN_COMMAND}
                                   $<TARGET_FILE:${target}>
                           VERBATIM)
    endif()
endfunction()
