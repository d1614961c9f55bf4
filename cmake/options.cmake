# Compile options shared by every target of our own.
function(project_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX /permissive- /utf-8)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                              -Wno-sign-conversion -Werror)
  endif()
endfunction()

# Unicode Win32 API, no min/max macros, lean headers.
function(project_windows_defs target)
  target_compile_definitions(${target} PRIVATE UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN
                                               _WIN32_WINNT=0x0A00 WINVER=0x0A00)
endfunction()

# One self-contained file: no MinGW runtime DLLs beside the program.
function(project_static_runtime target)
  if(MINGW)
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
  endif()
endfunction()

# Reproducible programs: no source folder inside them (__FILE__, debug information), for every
# target, the libraries included.
if(MINGW)
  add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}=.)
endif()

# One thread per program: the programs' function-local statics need no lock. With one, the first
# of them asks the MinGW thread library for memory, which it can't do without (an access
# violation where that request fails).
function(project_single_threaded target)
  if(MINGW)
    target_compile_options(${target} PRIVATE -fno-threadsafe-statics)
  endif()
endfunction()
