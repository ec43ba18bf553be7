# cmake -DROOT=<tree> [-DSTAMP=<file>] -P check_layers.cmake
# Fails when a product source includes a header of a higher layer. A file's
# layer, and an included header's, is the one of the longest path prefix
# below that matches its path; tests, scripts and unlisted folders are not
# checked. Inside core/ (layer 4) each room has a level of its own, 4.0 at
# the bottom to 4.9, so that core's includes point down as well.
set(_layers
  "text/=0" "json/=0" "json/script_json=2"
  "platform/=1"
  "hosts/call/=2"
  "hosts/=3"
  # Constants only, named by the default libraries, the replies and the
  # information records alike: below all of them.
  "core/web_addresses.=4.0"
  "core/files/=4.1"
  "core/random.=4.2" "core/libraries.=4.2" "core/host_adapters.=4.2"
  "core/plugin.=4.3"
  "core/settings.=4.4" "core/hosts.=4.4" "core/info/=4.4"
  "core/error_hook.=4.5"
  "core/program.=4.6"
  "core/reply/=4.7"
  "core/messages/=4.8"
  "core/=4.9"  # a file of core/ not listed above: over its rooms
  "ui/=5"
  "exports/=6")

function(_layer_of path out)
  set(best -1)
  set(bestLen 0)
  foreach(entry IN LISTS _layers)
    string(REPLACE "=" ";" pair "${entry}")
    list(GET pair 0 prefix)
    list(GET pair 1 level)
    string(LENGTH "${prefix}" len)
    string(SUBSTRING "${path}" 0 ${len} head)
    if(head STREQUAL prefix AND len GREATER bestLen)
      set(best ${level})
      set(bestLen ${len})
    endif()
  endforeach()
  set(${out} ${best} PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE _sources RELATIVE "${ROOT}"
     "${ROOT}/text/*" "${ROOT}/json/*" "${ROOT}/platform/*" "${ROOT}/hosts/*" "${ROOT}/core/*" "${ROOT}/ui/*" "${ROOT}/exports/*")
set(_faults "")
foreach(src IN LISTS _sources)
  if(NOT src MATCHES "\\.(cpp|hpp|h|inc)$")
    continue()
  endif()
  _layer_of("${src}" own)
  file(STRINGS "${ROOT}/${src}" _includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS _includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" header "${line}")
    _layer_of("${header}" theirs)
    if(theirs GREATER own)
      string(APPEND _faults "  ${src} includes ${header}\n")
    endif()
  endforeach()
endforeach()
if(_faults)
  message(FATAL_ERROR "A lower layer includes a higher one:\n${_faults}")
endif()
if(STAMP)
  file(TOUCH "${STAMP}")
endif()
