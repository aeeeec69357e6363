# Host builds may run under sanitizers; the flags go to every target so that
# the library, the simulator and the tests share one runtime.
if(LUMBREL_SANITIZERS)
  add_compile_options(-fsanitize=${LUMBREL_SANITIZERS} -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=${LUMBREL_SANITIZERS})
endif()
