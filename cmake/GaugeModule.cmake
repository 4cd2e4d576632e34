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

# add_gauge_module(<target>
#   NAME <gauge name>               also the file name, without extension
#   DEF <file.def>                  LIBRARY "<name>.gau", Linkage @1, ImportTable @2
#   SOURCES <gauge sources...>      the gauge's records and callbacks
#   RESOURCES <file.rc>             bitmaps, and #include "version.rc"
#   [IMAGE_BASE <address>]          preferred load address, default 0x10000000;
#                                   pinned, since ld would otherwise derive it
#                                   from the output path
#   [SUFFIX <.gau|.dll>]            default .gau
#   [OUTPUT_DIR <dir>])             default DIST_DIR
# A gauge module: the module frame (target gauge_frame) compiled in with the
# gauge's own sources. The frame_probe fixture is built by it too, so that it
# is the same frame with the same flags.
#
# Built small:
#  - optimised for size, each function and record in a section of its own so
#    that the linker drops what no record reaches (the frame's element access
#    operations, in a shipped module);
#  - sections aligned to 32 bytes in memory and in the file alike (the PE
#    "low alignment" layout, which Windows maps as one read-write-execute
#    image). With the usual 4 KiB / 512-byte alignment every one of the seven
#    sections costs at least 512 bytes and the headers 1 KiB: about 6 KiB
#    around the bitmaps instead of about 3 KiB.
# Designated initialisers leave unnamed fields zero on purpose, so the
# warning about missing initialisers is off for these targets.
set(GAUGE_MODULE_ALIGNMENT 0x20)
set(GAUGE_MODULE_COMPILE_OPTIONS
  -Os -ffunction-sections -fdata-sections -Wno-missing-field-initializers)
set(GAUGE_MODULE_LINK_OPTIONS
  -Wl,--gc-sections
  -Wl,--section-alignment,${GAUGE_MODULE_ALIGNMENT}
  -Wl,--file-alignment,${GAUGE_MODULE_ALIGNMENT})

function(add_gauge_module target)
  cmake_parse_arguments(A "" "NAME;SUFFIX;OUTPUT_DIR;DEF;IMAGE_BASE" "SOURCES;RESOURCES" ${ARGN})
  if(NOT A_NAME OR NOT A_DEF)
    message(FATAL_ERROR "add_gauge_module(${target}): NAME and DEF are required")
  endif()
  if(NOT A_SUFFIX)
    set(A_SUFFIX .gau)
  endif()
  if(NOT A_OUTPUT_DIR)
    set(A_OUTPUT_DIR "${DIST_DIR}")
  endif()
  add_nocrt_dll(${target} OUTPUT_NAME ${A_NAME} SUFFIX ${A_SUFFIX} OUTPUT_DIR "${A_OUTPUT_DIR}"
    DEF "${A_DEF}" SOURCES ${A_SOURCES} RESOURCES ${A_RESOURCES}
    INCLUDES "${CMAKE_CURRENT_SOURCE_DIR}")
  target_link_libraries(${target} PRIVATE gauge_frame)
  target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:C,CXX>:${GAUGE_MODULE_COMPILE_OPTIONS}>)
  target_link_options(${target} PRIVATE ${GAUGE_MODULE_LINK_OPTIONS})
  if(NOT A_IMAGE_BASE)
    set(A_IMAGE_BASE 0x10000000)
  endif()
  target_link_options(${target} PRIVATE "-Wl,--image-base,${A_IMAGE_BASE}")
  # windres reports no dependencies: rebuild the resources when a bitmap or
  # the shared version resource changes.
  file(GLOB bitmaps CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/bitmaps/*.bmp")
  set_source_files_properties(${A_RESOURCES} PROPERTIES
    OBJECT_DEPENDS "${bitmaps};${CMAKE_SOURCE_DIR}/frame/version.rc")
endfunction()
