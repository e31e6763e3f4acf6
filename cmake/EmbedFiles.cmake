# quorvel_embed(<target> <function> <name> <file> [<name> <file> ...])
# Compiles the files into <target> as byte arrays and defines
#   std::string_view <function>(std::string_view name)
# which returns a file's bytes by its resource name, or an empty view.
set(QUORVEL_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/embed.cmake)

function(quorvel_embed target function)
  set(pairs ${ARGN})
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_${function}_resources.cpp)
  set(files)
  set(args)
  list(LENGTH pairs n)
  math(EXPR last "${n} - 1")
  foreach(i RANGE 0 ${last} 2)
    math(EXPR j "${i} + 1")
    list(GET pairs ${i} name)
    list(GET pairs ${j} file)
    get_filename_component(file ${file} ABSOLUTE)
    list(APPEND files ${file})
    list(APPEND args "${name}=${file}")
  endforeach()
  string(REPLACE ";" "|" joined "${args}")
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DOUT=${out} -DFUNCTION=${function} "-DPAIRS=${joined}"
            -P ${QUORVEL_EMBED_SCRIPT}
    DEPENDS ${files} ${QUORVEL_EMBED_SCRIPT}
    VERBATIM
    COMMENT "Embedding resources for ${target}")
  target_sources(${target} PRIVATE ${out})
endfunction()
