# Compiler options, set on each target, one branch per compiler. The float steps of the file formats
# are a contract: every multiply and add rounds on its own, so no compiler may fuse them or reorder
# float arithmetic.
function(set_project_options target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /fp:precise)
  else()
    target_compile_options(${target} PRIVATE
      -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wmissing-declarations -ffp-contract=off)
    if(WERROR)
      target_compile_options(${target} PRIVATE -Werror)
    endif()
    if(SANITIZE OR FUZZ)
      set(sanitizers address,undefined,float-cast-overflow,float-divide-by-zero)
      # the preconditions that the code asserts hold there too, whatever the build type says
      target_compile_options(${target} PRIVATE -UNDEBUG)
      target_compile_options(${target} PRIVATE
        -fsanitize=${sanitizers} -fno-sanitize-recover=all -fno-omit-frame-pointer)
      target_link_options(${target} PRIVATE -fsanitize=${sanitizers})
    endif()
    if(FUZZ)
      # coverage for libFuzzer in everything the fuzz targets call
      target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link)
    endif()
  endif()
endfunction()
