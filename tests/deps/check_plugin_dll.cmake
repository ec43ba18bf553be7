# The plug-in DLL as users copy it (run as a test: cmake -P):
#  - it imports Windows system DLLs only: everything else is linked in;
#  - it carries no debug information and no symbol table (the names of its
#    functions and data), and neither its file nor its image in the host's
#    address space takes more than LIMIT bytes;
#  - its debug link names the file beside it that holds the debug
#    information, with that file's checksum, as a debugger looks for it.
# Arguments: OBJDUMP, OBJCOPY, DLL, DEBUG_FILE (its path beside the DLL),
# LIMIT (bytes), WORK (a folder for scratch copies).
cmake_minimum_required(VERSION 3.25)

function(run)
  execute_process(COMMAND ${ARGN} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${ARGN} failed: ${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

# The names of the sections of a PE file.
function(section_names file var)
  run(${OBJDUMP} -h ${file})
  string(REGEX MATCHALL "\n +[0-9]+ [^ \n]+" rows "${out}")
  list(TRANSFORM rows REPLACE "\n +[0-9]+ " "")
  set(${var} "${rows}" PARENT_SCOPE)
endfunction()

run(${OBJDUMP} -p ${DLL})
set(headers "${out}")
string(REGEX MATCHALL "DLL Name: [^\n]+" names "${headers}")
set(allowed KERNEL32.DLL USER32.DLL GDI32.DLL ADVAPI32.DLL SHELL32.DLL OLE32.DLL OLEAUT32.DLL
            WININET.DLL COMCTL32.DLL COMDLG32.DLL MSVCRT.DLL SHLWAPI.DLL WS2_32.DLL GDIPLUS.DLL SECUR32.DLL
            CRYPT32.DLL)
# DLL names compare without regard to case, as Windows loads them.
string(TOUPPER "${allowed}" allowed_upper)
foreach(entry IN LISTS names)
  string(REPLACE "DLL Name: " "" dll "${entry}")
  string(STRIP "${dll}" dll)
  string(TOUPPER "${dll}" dll_upper)
  list(FIND allowed_upper "${dll_upper}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "the plug-in imports ${dll}, which is not a Windows system DLL")
  endif()
  message(STATUS "imports ${dll}")
endforeach()

section_names(${DLL} sections)
foreach(section IN LISTS sections)
  if(section MATCHES "^\\.z?debug")
    message(FATAL_ERROR "the plug-in carries debug information (section ${section})")
  endif()
endforeach()

# The symbols the COFF header counts, after the "PE\0\0" that the DOS
# header points to. (Its pointer to the table stays: the long section names,
# ".gnu_debuglink", are kept in the string table that follows it.)
function(read_u32 file offset var)
  file(READ ${file} bytes OFFSET ${offset} LIMIT 4 HEX)
  string(REGEX REPLACE "(..)(..)(..)(..)" "0x\\4\\3\\2\\1" bytes "${bytes}")
  math(EXPR value "${bytes}")
  set(${var} ${value} PARENT_SCOPE)
endfunction()
read_u32(${DLL} 60 pe)
file(READ ${DLL} signature OFFSET ${pe} LIMIT 4 HEX)
if(NOT signature STREQUAL "50450000")
  message(FATAL_ERROR "${DLL} is no PE file")
endif()
math(EXPR count_at "${pe} + 16")
read_u32(${DLL} ${count_at} symbols)
if(NOT symbols EQUAL 0)
  message(FATAL_ERROR "the plug-in carries a symbol table (${symbols} symbols)")
endif()

file(SIZE ${DLL} size)
if(NOT headers MATCHES "SizeOfImage[ \t]+([0-9a-fA-F]+)")
  message(FATAL_ERROR "no SizeOfImage in the headers of ${DLL}")
endif()
math(EXPR image "0x${CMAKE_MATCH_1}")
message(STATUS "file ${size} bytes, image ${image} bytes (at most ${LIMIT} each)")
if(size GREATER LIMIT OR image GREATER LIMIT)
  message(FATAL_ERROR "the plug-in takes ${size} bytes on disk and ${image} of the host's address space: more than ${LIMIT}")
endif()

# The link as it is, and as objcopy makes it for the debug file beside the
# DLL now (its name and its checksum).
if(NOT ".gnu_debuglink" IN_LIST sections)
  message(FATAL_ERROR "the plug-in has no debug link")
endif()
section_names(${DEBUG_FILE} debug_sections)
if(NOT ".debug_info" IN_LIST debug_sections)
  message(FATAL_ERROR "${DEBUG_FILE} holds no debug information")
endif()
file(MAKE_DIRECTORY ${WORK})
run(${OBJCOPY} --dump-section .gnu_debuglink=${WORK}/link ${DLL} ${WORK}/copy.dll)
run(${OBJCOPY} --remove-section .gnu_debuglink --add-gnu-debuglink=${DEBUG_FILE} ${DLL} ${WORK}/relinked.dll)
run(${OBJCOPY} --dump-section .gnu_debuglink=${WORK}/expected ${WORK}/relinked.dll ${WORK}/copy.dll)
file(READ ${WORK}/link link HEX)
file(READ ${WORK}/expected expected HEX)
file(REMOVE ${WORK}/link ${WORK}/expected ${WORK}/copy.dll ${WORK}/relinked.dll)
if(NOT link STREQUAL expected)
  message(FATAL_ERROR "the plug-in's debug link (${link}) does not name ${DEBUG_FILE} as it is (${expected})")
endif()
