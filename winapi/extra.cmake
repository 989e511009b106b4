# Windows and drawing of the stand-in: FreeType for the text, libpng for screenshots,
# iconv (in glibc) for GBK.
find_package(Freetype REQUIRED)
find_package(PNG REQUIRED)
target_link_libraries(winapi PRIVATE Freetype::Freetype PUBLIC PNG::PNG)
set(QX_SONG_FONT "/usr/share/fonts/opentype/noto/NotoSerifCJK-Regular.ttc" CACHE FILEPATH
    "Song-style CJK face drawn for the module's fonts")
target_compile_definitions(winapi PRIVATE QX_SONG_FONT="${QX_SONG_FONT}")
