# ORVA_SANITIZERS = "address;undefined" instruments every target of the build.
if(ORVA_SANITIZERS)
  list(JOIN ORVA_SANITIZERS "," _orva_san)
  add_compile_options(-fsanitize=${_orva_san} -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=${_orva_san})
endif()
