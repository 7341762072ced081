# zorvan.exe: the SDL adapter on the SDL2, FreeType and SDL2_ttf that scripts/windows-libraries
# cross-builds into ZORVAN_WINDOWS_ROOT. Without them only the simulated runner is built.
find_package(SDL2 CONFIG QUIET)
find_package(SDL2_ttf CONFIG QUIET)
if(NOT TARGET SDL2::SDL2-static OR NOT TARGET SDL2_ttf::SDL2_ttf-static)
  message(STATUS "zorvan.exe skipped: no cross-built SDL2 and SDL2_ttf in ZORVAN_WINDOWS_ROOT")
  return()
endif()
add_library(zorvan_sdl STATIC ${PROJECT_SOURCE_DIR}/src/platform/sdl/sdl_platform.cpp
  ${PROJECT_SOURCE_DIR}/src/platform/sdl/child_program.cpp)
target_link_libraries(zorvan_sdl PUBLIC zorvan_core zorvan_http SDL2_ttf::SDL2_ttf-static SDL2::SDL2-static)

# A window program: no console opens beside the game.
add_executable(zorvan WIN32 main.cpp)
target_link_libraries(zorvan PRIVATE zorvan_sdl)
target_link_options(zorvan PRIVATE -mwindows)
set_target_properties(zorvan PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${ZORVAN_GAME_DIR})
