# Shared build settings and the helpers every directory uses.

set(ZOQ_ROOT ${CMAKE_CURRENT_LIST_DIR}/..)

if(ZOQ_NATIVE)
  set(ZOQ_SANITIZE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_compile_options(${ZOQ_SANITIZE})
  add_link_options(${ZOQ_SANITIZE})
  add_compile_definitions(ZOQ_HOT=)
  find_package(GTest REQUIRED)
else()
  if(NOT WIN32)
    message(FATAL_ERROR "Configure with -DCMAKE_TOOLCHAIN_FILE=<setup dir>/mingw-i686.cmake, or -DZOQ_NATIVE=ON")
  endif()
  # Sources are UTF-8; the system's own texts are GBK bytes at run time.
  add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-fexec-charset=GBK>)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
  # ZOQ_HOT marks the functions every message runs through. The linker lays
  # the sections named .text$<suffix> out one after the other, so all of them
  # end up side by side: a message that arrives on a CPU that has gone idle
  # fetches its code from a handful of pages instead of dozens spread over the
  # image. (A function in a named section is also kept whole: none of it is
  # moved away as unlikely.) Inline functions cannot be marked: they live in
  # sections of their own.
  add_compile_definitions([=[ZOQ_HOT=__attribute__((section(".text$zoq_hot")))]=])
  # The DLL the hosts load is built for i386. The same sources build for
  # x86-64 as well (build-x64/), where every test runs under 64-bit Wine on
  # machines that run no 32-bit program. What differs by processor stands in
  # a file of platform/ of its own (<name>_${ZOQ_PROCESSOR}.S).
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(ZOQ_PROCESSOR x86_64 CACHE INTERNAL "the processor of this build")
    # Debian's `wine` starts the 32-bit loader whenever it is installed,
    # even for a 64-bit program: the 64-bit loader is called by its name.
    find_program(ZOQ_WINE NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine NO_DEFAULT_PATH)
    if(NOT ZOQ_WINE)
      set(ZOQ_WINE wine64)
    endif()
  else()
    set(ZOQ_PROCESSOR i386 CACHE INTERNAL "the processor of this build")
    set(ZOQ_WINE wine CACHE STRING "the Wine that runs this build's programs")
  endif()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZOQ_WINE})
  find_package(GTest CONFIG REQUIRED)
  set(ZOQ_SYSROOT_LIB ${CMAKE_FIND_ROOT_PATH})
endif()

set(ZOQ_WARNINGS -Wall -Wextra -Wno-unused-parameter -Wno-missing-field-initializers)

# The main of the test programs (tests/test_main.cpp: a skip fails where
# ZOQ_NO_SKIPS is set).
add_library(zoq_test_main STATIC ${ZOQ_ROOT}/tests/test_main.cpp)
target_include_directories(zoq_test_main PRIVATE ${ZOQ_ROOT})
target_compile_options(zoq_test_main PRIVATE ${ZOQ_WARNINGS})
target_link_libraries(zoq_test_main PUBLIC GTest::gtest)
set(ZOQ_GTEST_MAIN zoq_test_main GTest::gtest)

# zoq_library(name SOURCES ... [LIBS ...]) : a static library of project code.
function(zoq_library name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS;PUBLIC_LIBS" ${ARGN})
  add_library(${name} STATIC ${A_SOURCES})
  target_include_directories(${name} PUBLIC ${ZOQ_ROOT})
  target_compile_options(${name} PRIVATE ${ZOQ_WARNINGS})
  target_link_libraries(${name} PRIVATE ${A_LIBS} PUBLIC ${A_PUBLIC_LIBS})
  if(TARGET zoq_layers)
    add_dependencies(${name} zoq_layers)
  endif()
endfunction()

# zoq_test(name SOURCES ... [LIBS ...] [PROPERTIES ...]) : a GoogleTest
# executable whose tests CTest discovers when it runs (under Wine for the
# cross build), and `<name>.repeated`, the whole suite run twice shuffled;
# PROPERTIES go to every test.
include(GoogleTest)
function(zoq_test name)
  cmake_parse_arguments(A "" "TIMEOUT" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE ${ZOQ_ROOT})
  target_compile_options(${name} PRIVATE ${ZOQ_WARNINGS})
  target_link_libraries(${name} PRIVATE ${A_LIBS} ${ZOQ_GTEST_MAIN})
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 120)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT ${A_TIMEOUT} FIXTURES_REQUIRED ${name}.repeated ${A_PROPERTIES})
  # The whole suite once more, twice over in one process in a shuffled order:
  # a test that leans on what another left behind fails here. It runs after
  # the suite's own tests (as the clean-up of their fixture), whose files it
  # shares. Only failures are printed (with the seed of the order), so
  # that a failure's lines are not lost in a long log.
  add_test(NAME ${name}.repeated COMMAND ${name} --gtest_repeat=2 --gtest_shuffle --gtest_brief=1)
  set_tests_properties(${name}.repeated PROPERTIES TIMEOUT 600 LABELS repeated FIXTURES_CLEANUP ${name}.repeated
                       ${A_PROPERTIES})
endfunction()

# zoq_entry(target name bytes): the entry point of a DLL, a stdcall function
# of `bytes` bytes of arguments, by its name for this processor.
function(zoq_entry target name bytes)
  if(ZOQ_PROCESSOR STREQUAL "x86_64")
    target_link_options(${target} PRIVATE -Wl,--entry=${name})
  else()
    target_link_options(${target} PRIVATE -Wl,--entry=_${name}@${bytes})
  endif()
endfunction()

# zoq_gbk_def(target def_in): the module-definition file is kept in UTF-8 and
# turned into GBK at build time, so export names such as 初始化 reach the
# export table as the GBK bytes a host asks for. Names with non-ASCII bytes
# must be quoted in the .def file.
function(zoq_gbk_def target def_in)
  get_filename_component(_name ${def_in} NAME_WE)
  set(_out ${CMAKE_CURRENT_BINARY_DIR}/${_name}.gbk.def)
  # The decorated names the file gives (Name@8) are i386 names: x86-64
  # decorates none.
  if(ZOQ_PROCESSOR STREQUAL "x86_64")
    set(_undecorate sed -E "s/@[0-9]+$//" ${_out} > ${_out}.tmp && mv ${_out}.tmp ${_out})
  else()
    set(_undecorate true)
  endif()
  add_custom_command(OUTPUT ${_out}
    COMMAND iconv -f UTF-8 -t GBK ${def_in} -o ${_out}
    COMMAND ${_undecorate}
    DEPENDS ${def_in} VERBATIM)
  target_sources(${target} PRIVATE ${_out})
  set_source_files_properties(${_out} PROPERTIES GENERATED TRUE)
  target_link_options(${target} PRIVATE -Wl,--enable-stdcall-fixup -Wl,--kill-at)
endfunction()

# The cross-built dependencies (static i686 libraries in the setup cache):
# zoq::iconv (GNU libiconv), zoq::png (libpng + zlib), zoq::jpeg (libjpeg-turbo).
if(NOT ZOQ_NATIVE)
  find_library(ZOQ_ICONV_LIB NAMES libiconv.a REQUIRED)
  find_library(ZOQ_PNG_LIB NAMES libpng16.a REQUIRED)
  find_library(ZOQ_JPEG_LIB NAMES libjpeg.a REQUIRED)
  find_library(ZOQ_ZLIB_LIB NAMES libz.a REQUIRED)
  find_path(ZOQ_DEPS_INCLUDE NAMES iconv.h png.h jpeglib.h REQUIRED)
  foreach(_dep iconv png jpeg zlib)
    string(TOUPPER ${_dep} _DEP)
    add_library(zoq::${_dep} STATIC IMPORTED GLOBAL)
    set_target_properties(zoq::${_dep} PROPERTIES IMPORTED_LOCATION ${ZOQ_${_DEP}_LIB}
                          INTERFACE_INCLUDE_DIRECTORIES ${ZOQ_DEPS_INCLUDE})
  endforeach()
  set_property(TARGET zoq::png APPEND PROPERTY INTERFACE_LINK_LIBRARIES zoq::zlib)
endif()

# Adds every sub-folder of the current folder that has a CMakeLists.txt.
macro(zoq_add_subfolders)
  file(GLOB _zoq_subdirs LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT _zoq_subdirs)
  foreach(_zoq_d IN LISTS _zoq_subdirs)
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${_zoq_d}/CMakeLists.txt)
      add_subdirectory(${_zoq_d})
    endif()
  endforeach()
endmacro()

# zoq_layer_check(): the target zoq_layers, which every library of the
# product depends on, runs check_layers.cmake whenever a product source
# changes, so that the build fails on an include against the layer order.
function(zoq_layer_check)
  file(GLOB_RECURSE _sources CONFIGURE_DEPENDS
       ${ZOQ_ROOT}/text/* ${ZOQ_ROOT}/json/* ${ZOQ_ROOT}/platform/* ${ZOQ_ROOT}/hosts/* ${ZOQ_ROOT}/core/*
       ${ZOQ_ROOT}/ui/*)
  set(_stamp ${CMAKE_BINARY_DIR}/layers.checked)
  add_custom_command(OUTPUT ${_stamp}
    COMMAND ${CMAKE_COMMAND} -DROOT=${ZOQ_ROOT} -DSTAMP=${_stamp} -P ${ZOQ_ROOT}/cmake/check_layers.cmake
    DEPENDS ${_sources} ${ZOQ_ROOT}/cmake/check_layers.cmake VERBATIM)
  add_custom_target(zoq_layers DEPENDS ${_stamp})
endfunction()
