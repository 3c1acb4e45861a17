# A simulated vendor provider library: its own sources and the code the vendors share.
include_guard(GLOBAL)

function(add_vendor_provider target)
    add_sim_provider(${target} ${ARGN} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/vendor_provider.cpp)
    target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
endfunction()
