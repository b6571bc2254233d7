# Project-wide compiler settings, applied to every target through kelmora_target_defaults().

add_library(kelmora_options INTERFACE)
target_compile_options(kelmora_options INTERFACE
    -Wall -Wextra -Wpedantic -Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual -Wformat=2
    -Wshadow -Wconversion -Wsign-conversion)
if(KELMORA_WERROR STREQUAL "")
    target_compile_options(kelmora_options INTERFACE $<$<CONFIG:Debug,RelWithDebInfo>:-Werror>)
elseif(KELMORA_WERROR)
    target_compile_options(kelmora_options INTERFACE -Werror)
endif()

if(KELMORA_SANITIZE)
    target_compile_options(kelmora_options INTERFACE -fsanitize=${KELMORA_SANITIZE} -fno-omit-frame-pointer
        -fno-sanitize-recover=all)
    target_link_options(kelmora_options INTERFACE -fsanitize=${KELMORA_SANITIZE})
endif()

function(kelmora_target_defaults target)
    target_link_libraries(${target} PRIVATE kelmora_options)
    target_include_directories(${target} PUBLIC "${PROJECT_SOURCE_DIR}/src")
endfunction()

if(KELMORA_BUILD_FUZZERS)
    # Coverage instrumentation for everything the fuzz targets reach; the targets add libFuzzer's main.
    target_compile_options(kelmora_options INTERFACE -fsanitize=fuzzer-no-link)
endif()
