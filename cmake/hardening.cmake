# The optimised builds of the Linux programs are hardened as Debian builds its
# own packages (dpkg-buildflags with hardening=+all): fortified libc calls,
# stack protector, PIE, RELRO with immediate binding. -fno-ident keeps the
# compiler's signature out of the binaries (lintian wants no .comment section
# in a package). Debug builds, the sanitizer and fuzz presets, stay as they
# are: fortification needs the optimiser, and the sanitizers replace those
# calls themselves. The Windows cross build is left alone: mingw-w64's
# fortified calls and stack protector need libssp, which the ZIP would ship.

option(ROTABENCH_HARDEN "Harden the optimised builds as Debian's packages are" ON)

if(ROTABENCH_HARDEN AND NOT WIN32 AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  include(CheckPIESupported)
  check_pie_supported()
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  set(optimised "$<CONFIG:Release,RelWithDebInfo,MinSizeRel>")
  add_compile_options(
    "$<${optimised}:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>"
    "$<${optimised}:-fstack-protector-strong>"
    "$<${optimised}:-fno-ident>")
  add_link_options("$<${optimised}:LINKER:-z,relro;LINKER:-z,now>")
endif()
