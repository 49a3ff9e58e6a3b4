# velkora_delay_load(TARGET DLL FUNCTION...): an interface target through which a program
# calls these functions of DLL, with the DLL loaded on the first call instead of at start.
# mingw-w64: a delay-load import library made by dlltool from a .def of just these functions.
# MSVC: the ordinary import library, /DELAYLOAD and the delay-load helper.
function(velkora_delay_load target dll)
    get_filename_component(name ${dll} NAME_WE)
    add_library(${target} INTERFACE)
    if(MINGW)
        set(def ${CMAKE_CURRENT_BINARY_DIR}/${name}_delay.def)
        set(lib ${CMAKE_CURRENT_BINARY_DIR}/lib${name}_delay.a)
        list(JOIN ARGN "\n    " exports)
        file(GENERATE OUTPUT ${def} CONTENT "LIBRARY ${dll}\nEXPORTS\n    ${exports}\n")
        add_custom_command(OUTPUT ${lib}
            COMMAND ${CMAKE_DLLTOOL} --input-def ${def} --output-delaylib ${lib} --dllname ${dll}
            DEPENDS ${def}
            COMMENT "Making the delay-load import library of ${dll}"
            VERBATIM)
        add_custom_target(${target}_import_library DEPENDS ${lib})
        add_dependencies(${target} ${target}_import_library)
        target_link_libraries(${target} INTERFACE ${lib})
    elseif(MSVC)
        target_link_libraries(${target} INTERFACE ${name} delayimp)
        target_link_options(${target} INTERFACE /DELAYLOAD:${dll})
    else()
        message(FATAL_ERROR "no delay-load support for this toolchain")
    endif()
endfunction()
