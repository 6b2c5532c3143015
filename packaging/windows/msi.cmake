# The Windows installer (packaging/windows/habitorium-rent-analysis.wxs),
# built with wixl from msitools (Debian package wixl) out of the stripped
# program and its icon, staged in a folder of their own (wixl reads the
# files by names relative to where it runs).
#
# habitorium_msi(TARGET OUTPUT VERSION) adds the target that makes OUTPUT for
# that product version (major.minor.patch), for the platform of this build
# (HABITORIUM_MSI_ARCH: x64, or x86 for the 32-bit program).
find_program(HABITORIUM_WIXL wixl DOC "wixl, of the Debian package wixl")
set(HABITORIUM_MSI_WXS ${PROJECT_SOURCE_DIR}/packaging/windows/habitorium-rent-analysis.wxs)

function(habitorium_msi target output version)
    if(NOT HABITORIUM_WIXL)
        message(FATAL_ERROR "wixl is missing: install the Debian package wixl")
    endif()
    string(REPLACE "." ";" parts ${version})
    list(GET parts 0 major)
    list(GET parts 1 minor)
    list(GET parts 2 patch)
    math(EXPR next_patch "${patch} + 1")
    get_filename_component(output_dir ${output} DIRECTORY)
    set(stage ${CMAKE_BINARY_DIR}/msi-stage/${target})
    file(MAKE_DIRECTORY ${stage})
    add_custom_command(OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${output_dir}
        COMMAND ${CMAKE_STRIP} -o ${stage}/habitorium-rent-analysis.exe
                $<TARGET_FILE:habitorium-rent-analysis>
        COMMAND ${CMAKE_COMMAND} -E copy ${HABITORIUM_ICON_ICO} ${stage}/habitorium-rent-analysis.ico
        COMMAND ${HABITORIUM_WIXL} -a ${HABITORIUM_MSI_ARCH} -D Arch=${HABITORIUM_MSI_ARCH}
                -D Version=${version} -D NextVersion=${major}.${minor}.${next_patch}
                -D ProgramFile=habitorium-rent-analysis.exe -D IconFile=habitorium-rent-analysis.ico
                -o ${output} ${HABITORIUM_MSI_WXS}
        WORKING_DIRECTORY ${stage}
        DEPENDS habitorium-rent-analysis ${HABITORIUM_ICON_ICO} ${HABITORIUM_MSI_WXS}
        COMMENT "Building the installer ${output}"
        VERBATIM)
    add_custom_target(${target} DEPENDS ${output})
endfunction()
