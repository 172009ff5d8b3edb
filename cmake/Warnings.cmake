# Every target of ours compiles clean with these.
function(pw_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
endfunction()
