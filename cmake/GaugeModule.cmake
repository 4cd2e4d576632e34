# Building 32-bit DLLs without a C runtime: our own entry point, imports from
# KERNEL32 only, no exception tables, byte-reproducible output (no time stamp,
# no build path, stripped).

# Nothing from the platform's default library list: a module imports only
# what it names.
set(CMAKE_C_STANDARD_LIBRARIES "" CACHE STRING "" FORCE)
set(CMAKE_CXX_STANDARD_LIBRARIES "" CACHE STRING "" FORCE)

set(NOCRT_COMPILE_OPTIONS
  -O2 -ffreestanding -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
  -fno-ident -fno-stack-protector -fno-stack-check
  "-ffile-prefix-map=${CMAKE_SOURCE_DIR}=."
  -Wall -Wextra)

# add_nocrt_dll(<target>
#   OUTPUT_NAME <file name without extension>
#   [SUFFIX <.dll|.gau>]            default .dll
#   [OUTPUT_DIR <dir>]              default FIXTURE_DIR
#   [ENTRY <symbol>]                default _DllEntry@12
#   [DEF <file.def>]                exports; LIBRARY "<name><suffix>" sets the
#                                   export table's module name
#   SOURCES <files...> [RESOURCES <file.rc...>] [INCLUDES <dirs...>])
function(add_nocrt_dll target)
  cmake_parse_arguments(A "" "OUTPUT_NAME;SUFFIX;OUTPUT_DIR;ENTRY;DEF" "SOURCES;RESOURCES;INCLUDES" ${ARGN})
  if(NOT A_OUTPUT_NAME)
    message(FATAL_ERROR "add_nocrt_dll(${target}): OUTPUT_NAME is required")
  endif()
  if(NOT A_SUFFIX)
    set(A_SUFFIX .dll)
  endif()
  if(NOT A_OUTPUT_DIR)
    set(A_OUTPUT_DIR "${FIXTURE_DIR}")
  endif()
  if(NOT A_ENTRY)
    set(A_ENTRY _DllEntry@12)
  endif()
  add_library(${target} SHARED ${A_SOURCES} ${A_RESOURCES})
  set_target_properties(${target} PROPERTIES
    PREFIX "" OUTPUT_NAME "${A_OUTPUT_NAME}" SUFFIX "${A_SUFFIX}"
    RUNTIME_OUTPUT_DIRECTORY "${A_OUTPUT_DIR}"
    CXX_STANDARD 20 CXX_STANDARD_REQUIRED ON CXX_EXTENSIONS OFF)
  target_include_directories(${target} PRIVATE "${CMAKE_SOURCE_DIR}/frame/include" ${A_INCLUDES})
  target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:C,CXX>:${NOCRT_COMPILE_OPTIONS}>)
  target_link_options(${target} PRIVATE
    -nostdlib -nostartfiles "-Wl,-e,${A_ENTRY}" -Wl,--no-insert-timestamp -s)
  if(A_DEF)
    target_link_options(${target} PRIVATE "${A_DEF}")
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS "${A_DEF}")
  endif()
  target_link_libraries(${target} PRIVATE kernel32 gcc)
endfunction()
