# The page: the program for a browser, as static files (index.html, contadopo.js,
# contadopo.wasm, qtloader.js, favicon.ico) in one folder any web server can serve.
# Included from the top CMakeLists.txt when building with emscripten.

# The cues and the fonts go into the program as resources: the page has no folder of
# its own. The fonts are Debian's Liberation faces (SIL OFL), cut down at build time to
# the letters the page shows and so renamed, as that licence asks of a changed font.
# Debian 12 keeps them in liberation2/, Debian 13 (fonts-liberation 2.x) in liberation/.
find_path(CONTADOPO_FONT_DIR LiberationSans-Regular.ttf
    PATHS /usr/share/fonts/truetype/liberation2 /usr/share/fonts/truetype/liberation
    NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED DOC "Folder of the Liberation fonts")
find_program(CONTADOPO_PYTHON python3 REQUIRED NO_CMAKE_FIND_ROOT_PATH)
set(contadopo_fonts)
foreach(face Sans-Regular Sans-Bold Sans-BoldItalic Serif-Bold)
    string(REGEX REPLACE "-.*" "" kind "${face}")
    set(font "${CMAKE_CURRENT_BINARY_DIR}/fonts/Contadopo${face}.ttf")
    add_custom_command(OUTPUT "${font}"
        COMMAND "${CONTADOPO_PYTHON}" "${CMAKE_CURRENT_SOURCE_DIR}/platform/fonts/webfont.py"
                "${CONTADOPO_FONT_DIR}/Liberation${face}.ttf" "${font}" "Contadopo ${kind}"
        DEPENDS platform/fonts/webfont.py "${CONTADOPO_FONT_DIR}/Liberation${face}.ttf" VERBATIM)
    list(APPEND contadopo_fonts "${font}")
endforeach()
qt_add_resources(contadopo_lib webfonts PREFIX / BASE "${CMAKE_CURRENT_BINARY_DIR}" FILES ${contadopo_fonts})
qt_add_resources(contadopo_lib cues PREFIX / BASE resources
    FILES resources/suoni/Esatto.wav resources/suoni/no.wav)
# Qt's Italian texts for the standard buttons ("Annulla", "Sì"), from Debian's Qt.
set(CONTADOPO_QT_TRANSLATIONS "/usr/share/qt6/translations" CACHE PATH "Folder of Qt's translations")
configure_file("${CONTADOPO_QT_TRANSLATIONS}/qtbase_it.qm" "${CMAKE_CURRENT_BINARY_DIR}/translations/qtbase_it.qm" COPYONLY)
qt_add_resources(contadopo_lib translations PREFIX / BASE "${CMAKE_CURRENT_BINARY_DIR}"
    FILES "${CMAKE_CURRENT_BINARY_DIR}/translations/qtbase_it.qm")

qt_add_executable(contadopo main.cpp)
target_link_libraries(contadopo PRIVATE contadopo_lib)
# The pictures are .ico files: the GIF and JPEG readers would only weigh the page down.
qt_import_plugins(contadopo EXCLUDE Qt6::QGifPlugin Qt6::QJpegPlugin)
set_target_properties(contadopo PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}/site")

# The record folder in IndexedDB, read in before main() runs.
configure_file(platform/records/recordfolderweb.js "${CMAKE_CURRENT_BINARY_DIR}/recordfolderweb.js" @ONLY)
# Asyncify lets the dialogs' exec() wait for the player before the event loop runs;
# -Os keeps what it adds small.
target_link_options(contadopo PRIVATE
    -Os
    "SHELL:-s ASYNCIFY=1"
    "SHELL:-s ASYNCIFY_STACK_SIZE=65536"
    -lidbfs.js
    "SHELL:--pre-js ${CMAKE_CURRENT_BINARY_DIR}/recordfolderweb.js")
set_property(TARGET contadopo APPEND PROPERTY LINK_DEPENDS "${CMAKE_CURRENT_BINARY_DIR}/recordfolderweb.js")

# The page itself, in place of Qt's sample page, with the program's icon.
configure_file(platform/program/index.html "${CMAKE_CURRENT_BINARY_DIR}/site/index.html" COPYONLY)
configure_file(resources/contadopo.ico "${CMAKE_CURRENT_BINARY_DIR}/site/favicon.ico" COPYONLY)
