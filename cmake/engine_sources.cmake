# The engine rooms: each folder's .cpp files belong to lumarest_engine.
set(LUMAREST_ENGINE_ROOMS core disk partitions tree fat ntfs exfat carving carving/formats output volume search)
set(LUMAREST_ENGINE_SOURCES "")
foreach(room IN LISTS LUMAREST_ENGINE_ROOMS)
  file(GLOB room_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${room}/*.cpp)
  list(APPEND LUMAREST_ENGINE_SOURCES ${room_sources})
endforeach()
# The output room's decoders (Qt Gui, libheif, FFmpeg) belong to the front ends.
list(FILTER LUMAREST_ENGINE_SOURCES EXCLUDE REGEX "/output/(picture|heif_picture|clip_picture|carved_picture_pool)\\.cpp$")

function(lumarest_add_engine target)
  add_library(${target} STATIC ${LUMAREST_ENGINE_SOURCES})
  target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  find_package(Threads REQUIRED)
  find_package(ZLIB REQUIRED)
  target_link_libraries(${target} PUBLIC Threads::Threads ZLIB::ZLIB)
endfunction()
