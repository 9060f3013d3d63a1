# Build policy as INTERFACE targets that every VORLA target links.

add_library(vorla_warnings INTERFACE)
if(MSVC)
  target_compile_options(vorla_warnings INTERFACE /W4 /permissive-)
  if(VORLA_WARNINGS_AS_ERRORS)
    target_compile_options(vorla_warnings INTERFACE /WX)
  endif()
else()
  target_compile_options(vorla_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
    -Wcast-align -Woverloaded-virtual -Wformat=2 -Wimplicit-fallthrough)
  if(VORLA_WARNINGS_AS_ERRORS)
    target_compile_options(vorla_warnings INTERFACE -Werror)
  endif()
endif()

add_library(vorla_sanitizers INTERFACE)
if(VORLA_SANITIZE)
  string(REPLACE ";" "," _vorla_sanitize_list "${VORLA_SANITIZE}")
  target_compile_options(vorla_sanitizers INTERFACE
    -fsanitize=${_vorla_sanitize_list} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  target_link_options(vorla_sanitizers INTERFACE -fsanitize=${_vorla_sanitize_list})
endif()

add_library(vorla_settings INTERFACE)
target_link_libraries(vorla_settings INTERFACE vorla_warnings vorla_sanitizers)
