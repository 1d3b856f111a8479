# Warnings carried by every target of the project (linked PRIVATE).
add_library(orva_warnings INTERFACE)
target_compile_options(orva_warnings INTERFACE -Wall -Wextra -Wfloat-conversion)
if(ORVA_WARNINGS_AS_ERRORS)
  target_compile_options(orva_warnings INTERFACE -Werror)
endif()
