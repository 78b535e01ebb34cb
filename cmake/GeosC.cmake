# lumetra_link_geos_c(TARGET) compiles and links TARGET against the GEOS C
# API found through geos-config (Debian: libgeos-dev); returns FALSE in
# GEOS_C_FOUND, and does nothing else, when geos-config is missing.
function(lumetra_link_geos_c target)
  find_program(GEOS_CONFIG geos-config)
  if(NOT GEOS_CONFIG)
    set(GEOS_C_FOUND FALSE PARENT_SCOPE)
    return()
  endif()
  execute_process(COMMAND ${GEOS_CONFIG} --cflags OUTPUT_VARIABLE _cflags OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND ${GEOS_CONFIG} --clibs OUTPUT_VARIABLE _clibs OUTPUT_STRIP_TRAILING_WHITESPACE)
  separate_arguments(_cflags)
  separate_arguments(_clibs)
  target_compile_options(${target} PRIVATE ${_cflags})
  target_link_libraries(${target} PRIVATE ${_clibs})
  set(GEOS_C_FOUND TRUE PARENT_SCOPE)
endfunction()
