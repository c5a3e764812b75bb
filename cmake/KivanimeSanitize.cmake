# One switch for the sanitizer builds: 'address' means AddressSanitizer and
# UndefinedBehaviorSanitizer without recovery, so any report fails the run.
if(KIVANIME_SANITIZE STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
elseif(KIVANIME_SANITIZE STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
elseif(NOT KIVANIME_SANITIZE STREQUAL "")
    message(FATAL_ERROR "KIVANIME_SANITIZE must be empty, 'address' or 'thread'")
endif()
