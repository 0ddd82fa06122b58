# The pictures scripts/make_artwork.py draws into the build (ui/ runs it); a
# resource script that includes ui/Skins.rc lists these in OBJECT_DEPENDS.
set(TOVRA_ARTWORK_DIR ${CMAKE_BINARY_DIR}/ui/artwork)
set(TOVRA_ARTWORK_FILES)
foreach(f main.bmp chat.bmp main.sknset chat.sknset control.ico chat.ico toolbox.bmp)
  list(APPEND TOVRA_ARTWORK_FILES ${TOVRA_ARTWORK_DIR}/${f})
endforeach()
foreach(i RANGE 230 244)
  list(APPEND TOVRA_ARTWORK_FILES ${TOVRA_ARTWORK_DIR}/emoticon${i}.gif)
endforeach()
