# pw_embed_resources(<target> MODULE <function> RESOURCES <name> <type> <file> [...])
#
# Compiles files into <target> as the resources of one module: the generated source defines
#   const pw::platform::ResourceModule& <function>();
# which the program hands to its resource layer. <file> may be a generator expression (the
# file replacer is embedded from its built executable), so the bytes are read at build time.
set(PW_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/EmbedResourcesScript.cmake)

function(pw_embed_resources target)
  cmake_parse_arguments(ARG "" "MODULE" "RESOURCES" ${ARGN})
  list(LENGTH ARG_RESOURCES n)
  math(EXPR rem "${n} % 3")
  if(NOT ARG_MODULE OR n EQUAL 0 OR NOT rem EQUAL 0)
    message(FATAL_ERROR "pw_embed_resources: MODULE <fn> RESOURCES <name> <type> <file> ...")
  endif()
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${ARG_MODULE}.cpp)
  set(files "")
  math(EXPR last "${n} - 1")
  foreach(i RANGE 2 ${last} 3)
    list(GET ARG_RESOURCES ${i} f)
    list(APPEND files ${f})
  endforeach()
  string(REPLACE ";" "|" packed "${ARG_RESOURCES}")
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DOUT=${out} -DMODULE=${ARG_MODULE} "-DENTRIES=${packed}"
            -P ${PW_EMBED_SCRIPT}
    DEPENDS ${files} ${PW_EMBED_SCRIPT}
    COMMENT "Embedding resources of ${ARG_MODULE}"
    VERBATIM)
  target_sources(${target} PRIVATE ${out})
endfunction()
