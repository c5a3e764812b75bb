# Warnings and floating-point rules shared by every target of the project.
# Results must not depend on the optimiser: no contraction into fused
# multiply-adds, no fast-math, NaN handling as IEEE 754 says.
function(kivanime_target_options target)
    if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
        target_compile_options(${target} PRIVATE
            -Wall -Wextra -Wpedantic -Wshadow
            $<$<COMPILE_LANGUAGE:CXX>:-Wmissing-declarations>
            -ffp-contract=off -fno-fast-math)
        if(KIVANIME_WERROR)
            target_compile_options(${target} PRIVATE -Werror)
        endif()
    endif()
endfunction()
