# The tool's icon, drawn at build time from packaging/icon.py: PNGs of 16,
# 24, 32, 48 and 256 pixels in ${CMAKE_BINARY_DIR}/icons, and for Windows the
# .ico of all five (icoutils' icotool; the 256-pixel image kept as PNG, as
# Windows stores it). HABITORIUM_ICON_PNGS and HABITORIUM_ICON_ICO name them.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(HABITORIUM_ICON_SIZES 16 24 32 48 256)
set(icon_dir ${CMAKE_BINARY_DIR}/icons)
set(HABITORIUM_ICON_PNGS "")
foreach(size ${HABITORIUM_ICON_SIZES})
    list(APPEND HABITORIUM_ICON_PNGS ${icon_dir}/habitorium-rent-analysis-${size}.png)
endforeach()
add_custom_command(OUTPUT ${HABITORIUM_ICON_PNGS}
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/packaging/icon.py ${icon_dir} ${HABITORIUM_ICON_SIZES}
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/icon.py
    COMMENT "Drawing the icon"
    VERBATIM)
if(WIN32)
    find_program(HABITORIUM_ICOTOOL icotool REQUIRED DOC "icotool, of the Debian package icoutils")
    set(HABITORIUM_ICON_ICO ${icon_dir}/habitorium-rent-analysis.ico)
    list(GET HABITORIUM_ICON_PNGS -1 icon_256)
    set(icon_small ${HABITORIUM_ICON_PNGS})
    list(REMOVE_AT icon_small -1)
    add_custom_command(OUTPUT ${HABITORIUM_ICON_ICO}
        COMMAND ${HABITORIUM_ICOTOOL} -c -o ${HABITORIUM_ICON_ICO} ${icon_small} --raw=${icon_256}
        DEPENDS ${HABITORIUM_ICON_PNGS}
        COMMENT "Making the .ico"
        VERBATIM)
endif()
