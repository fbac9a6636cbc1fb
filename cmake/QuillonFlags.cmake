# Project-wide compile flags, carried by one INTERFACE target that every other target links.
add_library(quillon_flags INTERFACE)
target_compile_features(quillon_flags INTERFACE cxx_std_20)
target_compile_options(quillon_flags INTERFACE
    $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -Wpedantic -Wnon-virtual-dtor -Wold-style-cast>)
if(QUILLON_WERROR)
    target_compile_options(quillon_flags INTERFACE $<$<COMPILE_LANGUAGE:CXX>:-Werror>)
endif()
# The root source folder is the include root: #include "model/MoxPlayList.h".
target_include_directories(quillon_flags INTERFACE ${PROJECT_SOURCE_DIR})

if(QUILLON_SANITIZE)
    # Applied to everything, third-party test libraries excepted (they come prebuilt).
    add_compile_options(-fsanitize=${QUILLON_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${QUILLON_SANITIZE})
endif()

if(QUILLON_FUZZ)
    # Coverage for libFuzzer in every library; only the fuzz binaries link its driver.
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()
