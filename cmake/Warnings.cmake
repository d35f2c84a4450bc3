function(tavuno_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic
    -Wno-missing-field-initializers)  # designated initializers leave the rest defaulted
  if(TAVUNO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
