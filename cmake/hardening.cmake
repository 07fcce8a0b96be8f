# Hardened optimised builds (Release, and the package preset built on it), as Debian builds its
# packages: checked string and memory functions, stack protection, a read-only relocation table
# bound at start. Not for the sanitizer builds, whose run-time checks these would get in the way
# of; -D_FORTIFY_SOURCE needs optimisation, so unoptimised builds go without it.
option(VELUNDA_HARDENING "Hardening flags in optimised builds" ON)
if(VELUNDA_HARDENING AND NOT VELUNDA_SANITIZE)
  set(velunda_optimised "$<CONFIG:Release,RelWithDebInfo,MinSizeRel>")
  add_compile_options("$<${velunda_optimised}:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>"
                      "$<${velunda_optimised}:-fstack-protector-strong>")
  add_link_options("$<${velunda_optimised}:-Wl,-z,relro,-z,now>")
endif()
