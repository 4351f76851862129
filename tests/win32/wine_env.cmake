# The environment every wine process of the tests runs in: the tests' own
# prefix, no display, wine's diagnostics off, no .NET or HTML installers.
# WINE_DLL_OVERRIDES, when set, adds to the DLL overrides (for instance
# "setupapi,hid,cfgmgr32=n" to load replacements from the program's folder).

set(ENV{WINEPREFIX} "${WINEPREFIX}")
set(ENV{WINEARCH} win64)
set(ENV{WINEDEBUG} -all)
if(WINE_DLL_OVERRIDES)
  set(ENV{WINEDLLOVERRIDES} "mscoree,mshtml=;${WINE_DLL_OVERRIDES}")
else()
  set(ENV{WINEDLLOVERRIDES} "mscoree,mshtml=")
endif()
unset(ENV{DISPLAY})
unset(ENV{WAYLAND_DISPLAY})
