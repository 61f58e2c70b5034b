// The graphics toolkit of the editor: scene objects, widgets, panels and their
// RC layout files, the image bank and its bundle, the window and projections,
// cables, the file listing and screenshots. Fonts are in font_engine.hpp.
#pragma once

#include "toolkit/cable.hpp"
#include "toolkit/file_listing.hpp"
#include "toolkit/font_engine.hpp"
#include "toolkit/frame_state.hpp"
#include "toolkit/image_bank.hpp"
#include "toolkit/panel.hpp"
#include "toolkit/scene_objects.hpp"
#include "toolkit/screenshot.hpp"
#include "toolkit/video.hpp"
#include "toolkit/widgets.hpp"
