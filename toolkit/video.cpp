#include "toolkit/video.hpp"

#include "toolkit/frame_state.hpp"
#include "toolkit/image_bank.hpp"

#include <GL/gl.h>
#include <GL/glu.h>
#include <SDL/SDL.h>

#include <cstdio>
#include <cstdlib>

namespace tmod {

int init_video(int width, int height, const char* title, const char* bundle_path) {
    window_width = width;
    window_height = height;
    // The X11 driver, unless the user chose another: left to itself SDL falls
    // back to text-mode drivers (libcaca, aalib) that take over the terminal
    // and have no OpenGL.
    setenv("SDL_VIDEODRIVER", "x11", 0);
    // An X server that is still starting, or briefly busy, refuses the first
    // connections: a few tries a fifth of a second apart.
    int tries = 10;
    while (SDL_InitSubSystem(SDL_INIT_VIDEO) < 0) {
        if (--tries == 0) {
            std::fprintf(stderr, "Video initialization failed: %s\n", SDL_GetError());
            return -1;
        }
        SDL_Delay(200);
    }
    char driver[16] = {};
    SDL_VideoDriverName(driver, sizeof driver);
    std::printf("SDL Video Driver Name: %s\n", driver);

    const SDL_VideoInfo* info = SDL_GetVideoInfo();
    if (!info) {
        std::fprintf(stderr, "Video query failed: %s\n", SDL_GetError());
        return -1;
    }
    Uint32 flags = SDL_OPENGL | SDL_HWSURFACE | SDL_ASYNCBLIT | SDL_HWPALETTE;
    if (info->hw_available) flags |= SDL_HWSURFACE;
    if (info->blit_hw) flags |= SDL_HWACCEL;
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    if (title) SDL_WM_SetCaption(title, title);
    if (!SDL_SetVideoMode(width, height, 32, flags)) {
        std::fprintf(stderr, "Video mode set failed: %s\n", SDL_GetError());
        return -1;
    }
    set_gl_ready(true);

    set_perspective(width, height, 0);
    glShadeModel(GL_SMOOTH);
    glClearColor(0, 0, 0, 0);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);

    IMAGE_BANK::reserve_texture_names();
    image_bank().clear();
    if (bundle_path && image_bank().load_bundle(bundle_path) != 1) return -1;
    return 1;
}

void close_video() {
    image_bank().clear();
    set_gl_ready(false);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

void set_perspective(int width, int height, int select_modelview) {
    if (height == 0) height = 1;
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, static_cast<double>(width) / static_cast<double>(height), 0.1, 100.0);
    if (select_modelview == 1) glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void push_ortho(int left, int top, int right, int bottom) {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(left, right, bottom, top, 0.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void pop_ortho() {
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}

} // namespace tmod
