# The processor library must build without Qt: no Qt header may appear in DIR.
file(GLOB_RECURSE sources ${DIR}/*.h ${DIR}/*.cpp)
foreach(source IN LISTS sources)
    file(STRINGS ${source} hits REGEX "#[ \t]*include[ \t]*[<\"](Q[A-Za-z]|qt)")
    if(hits)
        message(FATAL_ERROR "${source} includes Qt: ${hits}")
    endif()
endforeach()
