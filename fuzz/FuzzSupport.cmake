# Shared by the fuzz/<reader>/ folders: instruments the libraries the readers
# use (coverage feedback and sanitizers), once, and adds a fuzz target.
get_property(marlo_fuzz_libraries_done GLOBAL PROPERTY MARLO_FUZZ_LIBRARIES_INSTRUMENTED)
if(NOT marlo_fuzz_libraries_done)
    set_property(GLOBAL PROPERTY MARLO_FUZZ_LIBRARIES_INSTRUMENTED TRUE)
    foreach(lib geometry mapfiles)
        target_compile_options(${lib} PRIVATE
            -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
            -fno-omit-frame-pointer)
    endforeach()
endif()

function(marlo_add_fuzzer name)
    add_executable(${name} ${ARGN})
    target_link_libraries(${name} PRIVATE mapfiles geometry)
    target_compile_options(${name} PRIVATE
        -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
endfunction()
