# Debian's hardening flags for the Linux programs, as dpkg-buildflags gives them with
# hardening=+all: _FORTIFY_SOURCE (checked string and memory functions; it needs optimisation, so
# not in a Debug build), the strong stack protector, format-string checks, position-independent
# programs, and relocations read-only and bound at start (-z relro -z now). Every native build
# takes them, so the programs the tests run are the programs the package ships.
#
# Only the hardening words are taken: the build type chooses the optimisation and the debug data,
# and scripts/release.sh maps the build's paths itself. Where dpkg-buildflags is missing the same
# flags are named here. Cross builds (mingw) and the checked builds (sanitizers, fuzzers) keep
# their own flags.
option(BRENVO_HARDENING "Build the Linux programs with Debian's hardening flags" ON)
if(NOT BRENVO_HARDENING OR CMAKE_CROSSCOMPILING OR BRENVO_SANITIZE OR WIN32)
  return()
endif()

find_program(DPKG_BUILDFLAGS dpkg-buildflags)
set(hardening_cppflags -Wdate-time -D_FORTIFY_SOURCE=2)
set(hardening_cxxflags -fstack-protector-strong -Wformat -Werror=format-security)
set(hardening_ldflags -Wl,-z,relro -Wl,-z,now)
if(DPKG_BUILDFLAGS)
  foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
              ${DPKG_BUILDFLAGS} --get ${kind}
      OUTPUT_VARIABLE words OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "dpkg-buildflags --get ${kind} failed")
    endif()
    separate_arguments(words UNIX_COMMAND "${words}")
    # The build type's optimisation and debug data, and the release's own path mapping, stay.
    list(FILTER words EXCLUDE REGEX "^-(g.*|O.*|f(file|debug|macro)-prefix-map=.*)$")
    string(TOLOWER ${kind} name)
    set(hardening_${name} ${words})
  endforeach()
endif()

# Position-independent programs: CMake's own switch, which adds -fPIE and -pie together.
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
include(CheckPIESupported)
check_pie_supported()

add_compile_options(${hardening_cxxflags})
# _FORTIFY_SOURCE does nothing without optimisation but warn.
add_compile_options("$<$<NOT:$<CONFIG:Debug>>:${hardening_cppflags}>")
add_link_options(${hardening_ldflags})
message(STATUS "Hardening: ${hardening_cppflags} ${hardening_cxxflags} ${hardening_ldflags} -fPIE -pie")
