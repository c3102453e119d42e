# Warnings are on for all of our own code; VELQUIN_WERROR makes them fatal.
function(velquin_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
    -Wcast-align -Woverloaded-virtual -Wnull-dereference -Wformat=2
    -Wimplicit-fallthrough)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # GCC 12 reports std::string concatenation inside libstdc++ as an
    # overlapping memcpy (GCC bug 105329); the diagnostic is a false positive.
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
  if(VELQUIN_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
