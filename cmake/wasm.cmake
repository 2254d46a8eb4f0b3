# The WebAssembly build (the wasm preset, Emscripten's toolchain): the editor
# servers from the same sources, with no window, tests or benchmarks.
#
# Debian's header-only libraries are used from /usr/include, but that folder
# cannot go on the include path whole: its C library headers would hide
# Emscripten's. Each library's own folder is linked into one of ours instead.
set(wren_wasm_include ${CMAKE_BINARY_DIR}/wasm-include)
file(MAKE_DIRECTORY ${wren_wasm_include})
foreach(dir nlohmann CLI toml++)
    if(NOT EXISTS /usr/include/${dir})
        message(FATAL_ERROR "/usr/include/${dir} is missing: run scripts/setup.sh")
    endif()
    file(CREATE_LINK /usr/include/${dir} ${wren_wasm_include}/${dir} SYMBOLIC)
endforeach()

foreach(target nlohmann_json::nlohmann_json CLI11::CLI11 tomlplusplus::tomlplusplus)
    add_library(${target} INTERFACE IMPORTED)
    target_include_directories(${target} SYSTEM INTERFACE ${wren_wasm_include})
endforeach()
# One thread: nothing to link.
add_library(Threads::Threads INTERFACE IMPORTED)

# C++ exceptions carry the machine's faults: WebAssembly's own, which Node.js
# 20 and every current browser run.
add_compile_options(-fwasm-exceptions)
add_link_options(-fwasm-exceptions)

# Builds a server as one Node.js program, NAME.mjs, with its module inlined.
function(wren_wasm_server name source)
    add_executable(${name} ${source})
    target_link_libraries(${name} PRIVATE ${ARGN})
    target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    wren_warnings(${name})
    set_target_properties(${name} PROPERTIES SUFFIX .mjs)
    set(pre ${CMAKE_CURRENT_SOURCE_DIR}/wasm_host_pre.mjs)
    set(post ${CMAKE_CURRENT_SOURCE_DIR}/wasm_host_node.mjs)
    target_link_options(${name} PRIVATE
        -sENVIRONMENT=node -sNODERAWFS=1 -sSINGLE_FILE=1
        -sMODULARIZE=1 -sEXPORT_ES6=1
        -sALLOW_MEMORY_GROWTH=1 -sMAXIMUM_MEMORY=2GB -sABORTING_MALLOC=1
        -sEXPORTED_FUNCTIONS=_main,_malloc,_free
        -sEXPORTED_RUNTIME_METHODS=callMain,HEAPU8
        "SHELL:--extern-pre-js ${pre}" "SHELL:--extern-post-js ${post}")
    set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${pre} ${post})
    # Runs as a program of its own, as the native one does.
    add_custom_command(TARGET ${name} POST_BUILD
        COMMAND chmod +x $<TARGET_FILE:${name}> VERBATIM)
endfunction()

# Builds a server for a Web Worker, NAME.worker.js: a classic script with its
# module inlined, which the page starts from its own text (a page opened from
# disk may fetch nothing). The worker host speaks postMessage.
function(wren_wasm_worker name source)
    set(target ${name}-worker)
    add_executable(${target} ${source})
    target_link_libraries(${target} PRIVATE ${ARGN})
    target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    wren_warnings(${target})
    set_target_properties(${target} PROPERTIES OUTPUT_NAME ${name}.worker SUFFIX .js)
    set(post ${CMAKE_CURRENT_SOURCE_DIR}/wasm_host_worker.js)
    # The host's own code is small and cold; the link optimises the whole
    # module for speed, which Run to end needs (the page stays near 1.2 MB).
    target_compile_options(${target} PRIVATE -Os)
    target_link_options(${target} PRIVATE -O3
        -sENVIRONMENT=worker -sSINGLE_FILE=1 -sMODULARIZE=1 -sEXPORT_NAME=WrenServer
        -sALLOW_MEMORY_GROWTH=1 -sMAXIMUM_MEMORY=2GB -sABORTING_MALLOC=1
        -sEXPORTED_FUNCTIONS=_main,_malloc,_free
        -sEXPORTED_RUNTIME_METHODS=callMain,HEAPU8,FS
        "SHELL:--extern-post-js ${post}")
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${post})
endfunction()
