# vorla_gzip_files(VAR DIR FILE...): at build time, compresses each FILE to
# DIR/<name>.gz and sets VAR to the compressed files. gzip -9n, as Debian
# wants it: the best compression, and no name or time stamp in the header, so
# that the same file always gives the same bytes.

find_program(GZIP_EXE gzip REQUIRED)

function(vorla_gzip_files var dir)
  set(outputs)
  foreach(file IN LISTS ARGN)
    get_filename_component(name ${file} NAME)
    set(output ${dir}/${name}.gz)
    add_custom_command(OUTPUT ${output}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
      COMMAND ${CMAKE_COMMAND} -E copy ${file} ${dir}/${name}
      COMMAND ${GZIP_EXE} -9nf ${dir}/${name}
      DEPENDS ${file}
      VERBATIM)
    list(APPEND outputs ${output})
  endforeach()
  add_custom_target(${var} ALL DEPENDS ${outputs})
  set(${var} ${outputs} PARENT_SCOPE)
endfunction()
