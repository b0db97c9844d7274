# brix's folders are layers, each including only itself and the layers before it:
#   Platform, Math, Core, CoreServices, Utils
# (system calls; vectors and matrices; errors, containers, strings and output channels;
# memory, file systems, streams and archives; text parsers, regex and command lines).
# Run as `cmake -DBRIX_DIR=... -P CheckLayers.cmake` by every build: an include that
# points to a later layer fails it, naming the file and the include.
set(layers Platform Math Core CoreServices Utils)
file(GLOB_RECURSE sources ${BRIX_DIR}/*.h ${BRIX_DIR}/*.cpp)
set(faults "")
foreach(source ${sources})
  file(RELATIVE_PATH relative ${BRIX_DIR} ${source})
  string(REGEX MATCH "^[^/]+" layer "${relative}")
  list(FIND layers "${layer}" rank)
  if(rank EQUAL -1)
    continue()  # a file beside the layers (none at present)
  endif()
  file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"[A-Za-z]+/")
  foreach(line ${includes})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]+\"([A-Za-z]+)/.*" "\\1" used "${line}")
    list(FIND layers "${used}" usedRank)
    if(usedRank GREATER rank)
      string(APPEND faults "\n  brix/${relative} (${layer}) includes ${used}, a later layer: ${line}")
    endif()
  endforeach()
endforeach()
if(faults)
  message(FATAL_ERROR "brix layers are ${layers}; each may include only itself and earlier ones:${faults}")
endif()
