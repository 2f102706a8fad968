# zimbalo_use_harness(target [symbol...]): links target against the scripted
# SDL of harness.cpp, which stands in for the screens' SDL calls through GNU
# ld's --wrap, and wraps the extra symbols too (the tests add exit).
set(ZIMBALO_HARNESS_DIR ${CMAKE_CURRENT_LIST_DIR})
set(ZIMBALO_WRAPPED SDL_PollEvent SDL_WaitEvent SDL_GetTicks SDL_Delay SDL_WarpMouse
    SDL_Flip SDL_CreateRGBSurface SDL_FreeSurface TTF_Init TTF_OpenFont TTF_CloseFont time rand
    _Z12jouerMusiquev _Z5writeP11SDL_SurfaceP9_TTF_Font9SDL_ColoriiPKcz
    _Z12createButtonii9SDL_ColorS_P9_TTF_FontP11SDL_SurfacePKc)

function(zimbalo_use_harness target)
    target_sources(${target} PRIVATE ${ZIMBALO_HARNESS_DIR}/harness.cpp)
    target_include_directories(${target} PRIVATE ${ZIMBALO_HARNESS_DIR})
    foreach(symbol ${ZIMBALO_WRAPPED} ${ARGN})
        target_link_options(${target} PRIVATE "LINKER:--wrap=${symbol}")
    endforeach()
endfunction()
