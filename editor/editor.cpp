#include "editor/editor.hpp"

#include <GL/gl.h>
#include <SDL/SDL.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "audio/audio_pump.hpp"
#include "editor/editor_layout.hpp"
#include "engine/engine_state.hpp"
#include "engine/generator.hpp"
#include "engine/patch_ops.hpp"
#include "toolkit/font_engine.hpp"
#include "toolkit/frame_state.hpp"
#include "toolkit/video.hpp"
#include "util/alloc_tracker.hpp"

namespace tmod {

namespace {
// Panels showing moving engine state refresh at least this often.
constexpr auto idle_redraw = std::chrono::milliseconds(50);
// With none in view a frame costs more than the wait saves: a slow redraw
// still shows what remote control changed.
constexpr auto quiet_redraw = std::chrono::seconds(1);

// Text in screen pixels from the top left, drawn as labels draw theirs.
void screen_text(int font, int size, float x, float y_from_top, std::uint32_t colour,
                 const char* text) {
    if (!gl_ready()) return;
    glColor3ub(static_cast<GLubyte>(colour >> 16), static_cast<GLubyte>(colour >> 8),
               static_cast<GLubyte>(colour));
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    const float scale = static_cast<float>(size) / 36.0f;
    glScalef(scale, scale, 1.0f);
    print(font_table().get_or_first(font), x, static_cast<float>(window_height - 21) - y_from_top,
          "%s", text);
    glPopMatrix();
    glColor3ub(255, 255, 255);
}

// The type word INFO_DASH shows for the panels that have one.
// The type word the information panel shows: the registry's, and the
// sequencer's own French one.
const char* info_type_word(module_kind k) {
    return k == module_kind::SEQUENCER ? "SEQUENCEUR" : type_of(k).class_name;
}
} // namespace

INFO_DASH::INFO_DASH(class editor& e) : OBJET(0, 0, "58"), editor_(e) {
    load_rc("RC/DASH.RC");
    set_position(50, 450, 0);
    set_position(0, 0, 0);
    name_label_ =
        static_cast<LABEL*>(append(element_ptr(TM_NEW(LABEL, "", 70, 60, 0, 0, 0, 10, 0xFFFFFFu))));
    type_label_ =
        static_cast<LABEL*>(append(element_ptr(TM_NEW(LABEL, "", 70, 75, 0, 0, 0, 10, 0xFFFFFFu))));
    // A label's constructor flips y (747 - y), as layout files expect; the
    // two made here are placed where they belong.
    name_label_->set_position(70, 60, 0);
    type_label_->set_position(70, 75, 0);
    name_label_->set_name("58_CIBLE_NAME");
    type_label_->set_name("58_LABEL_TYPE");
}

void INFO_DASH::set_target(OBJET* panel) {
    redraw = 1;
    target = panel;
    if (!panel) return;
    LABEL* name = name_label_;
    LABEL* type = type_label_;
    char text[LABEL::caption_size];
    std::snprintf(text, sizeof text, "%p %s", static_cast<void*>(panel), panel->name);
    if (name) name->set_caption(text);
    if (type) type->set_caption("");
    // Every module panel names its module and type, so a musician reads what
    // is under the pointer.
    auto* m = dynamic_cast<MODULE_GUI*>(panel);
    if (m && m->module->name[0]) {
        if (name) name->set_caption(m->module->name);
        if (type) type->set_caption(info_type_word(m->kind));
    }
}

void INFO_DASH::draw(int unused, int with_background) {
    redraw = 1;
    OBJET::draw(unused, with_background);
    const editor& e = editor_;
    const int font = name_label_->font;
    const float sx = x - static_cast<float>(e.scroll_x) + 10;
    const float sy = y - static_cast<float>(e.scroll_y);
    char line[1024];
    const char* file = e.current_generator ? e.current_generator->file_name : "";
    if (e.current_gui)
        std::snprintf(line, sizeof line, "CurGenLevel [%d] Named[%s   %s]", e.level_depth, file,
                      e.current_gui->name);
    else
        std::snprintf(line, sizeof line, "CurGenLevel [%d] Named[%s   NULL:NULL]", e.level_depth,
                      file);
    screen_text(font, 10, sx, sy + 25, 0xFFFFFFu, line);
    if (e.current_gui) {
        std::snprintf(line, sizeof line, "Generator Present [%zu]",
                      e.current_generator->count(module_kind::GENERATOR));
        screen_text(font, 10, sx, sy + 35, 0xFFFFFFu, line);
        std::snprintf(line, sizeof line, "Objet present [%zu] Stack [%zu]",
                      e.current_panels->size(), e.level_stack.size());
    } else {
        std::snprintf(line, sizeof line, "Pas d'Objet present");
    }
    screen_text(font, 10, sx, sy + 45, 0xFFFFFFu, line);
}

editor::editor(GENERATOR& root, audio_pump* pump)
    : root_generator(&root), current_generator(&root), pump_(pump) {}

editor::~editor() {
    close();
    background_.reset();
}

void editor::close() {
    // Panels refer to modules: they go before the patch does, cables first.
    cables.clear();
    level_stack.clear();
    current_panels = nullptr;
    current_gui = nullptr;
    info_dash = nullptr;
    module_dash = system_dash = nullptr;
    root_gui.reset();
}

bool editor::is_dashboard(const OBJET* p) const {
    return p && (p == info_dash || p == module_dash || p == system_dash);
}

void editor::start(const char* patch_path) {
    background_.reset(TM_NEW(SPRITE, "FOND_GLOBAL", 0, 0, 0, 0u, 0, 1.0f, 0, 255));
    background_->alpha = 255;
    load(patch_path);
    scroll_x = scroll_y = 0;
    view_scroll_x = view_scroll_y = 0;
    draw_frame();
    if (pump_) pump_->scope_view = 0;
    audio_enabled = 1;
}

void editor::dock_dashboards() {
    if (info_dash)
        info_dash->set_position(static_cast<float>(scroll_x), static_cast<float>(scroll_y), 0);
    if (system_dash)
        system_dash->set_position(static_cast<float>(scroll_x + system_dash_x),
                                  static_cast<float>(scroll_y), 0);
    if (module_dash)
        module_dash->set_position(static_cast<float>(scroll_x + module_dash_x),
                                  static_cast<float>(scroll_y), 0);
}

// The palette and the system panel act on button releases; their OBJET update
// then routes the same messages to the buttons.
void editor::take_dashboard_actions() {
    std::vector<module_kind> create;
    bool open_load = false, save = false, flip_mode = false;
    auto released = [](const GUI_MESSAGE& m) {
        return m.kind != 0 && m.event_type() == event_button_up && m.target;
    };
    if (module_dash)
        for (const GUI_MESSAGE& m : module_dash->messages)
            if (released(m))
                if (const module_type* t = type_for_palette_name(m.target->name))
                    create.push_back(t->kind);
    if (system_dash)
        for (const GUI_MESSAGE& m : system_dash->messages)
            if (released(m)) {
                const char* n = m.target->name;
                if (std::strstr(n, "LOAD"))
                    open_load = true;
                else if (std::strstr(n, "SAVE"))
                    save = true;
                else if (std::strstr(n, "FILS"))
                    flip_mode = true;
            }
    if (system_dash && (open_load || save || flip_mode)) {
        system_dash->update();
        system_dash->redraw = 1;
    }
    for (module_kind k : create) palette_create(k);
    if (flip_mode && current_panels) key_down(SDLK_F6, *current_panels); // as F6 does
    if (save) save_level();
    if (open_load) load_dialog();
}

OBJET* editor::palette_create(module_kind kind) {
    const module_type& type = type_of(kind);
    std::printf("Neo %s\n", type.editor_word);
    char name[module_name_capacity];
    std::snprintf(name, sizeof name, "%s_%zu", type.editor_word,
                  current_generator->count(kind) + 1);
    OUTPUT* m = add_module(*current_generator, kind, name);
    if (!m) return nullptr;
    const int i = static_cast<int>(current_generator->count(kind)) - 1;
    panel_ptr panel = make_module_panel(kind, *m, i % 100);
    std::vector<panel_box> taken;
    for (const panel_ptr& p : *current_panels)
        taken.push_back({static_cast<int>(p->x), static_cast<int>(p->y), static_cast<int>(p->w),
                         static_cast<int>(p->h)});
    const panel_box spot =
        palette_spot(taken, static_cast<int>(panel->w), static_cast<int>(panel->h), scroll_x,
                     scroll_y, window_width, window_height, i);
    panel->set_position(static_cast<float>(spot.x), static_cast<float>(spot.y), 0);
    OBJET* shown = panel.get();
    current_panels->insert(current_panels->begin(), std::move(panel));
    hovered_panel = -1;
    return shown;
}

void editor::draw_message_line() {
    if (message_line.empty()) return;
    // Filled rectangles land 13 pixels lower than given.
    fill_rect(scroll_x, scroll_y + window_height - 24 - 13, window_width, 24, 0xC0400000u);
    screen_text(0, 12, 8, static_cast<float>(window_height - 30), 0xFFFF40u, message_line.c_str());
}

void editor::draw_frame() {
    push_ortho(0, 0, 1024, 768);
    glLoadIdentity();
    glClear(GL_COLOR_BUFFER_BIT);
    if (background_) {
        background_->set_image("FOND_ELECTRO");
        const int tw = background_->w > 0 ? static_cast<int>(background_->w) : 256;
        const int th = background_->h > 0 ? static_cast<int>(background_->h) : 256;
        for (int i = 0; i < 10; ++i)
            for (int j = 0; j < 10; ++j) {
                background_->set_position(static_cast<float>(i * tw), static_cast<float>(j * th),
                                          0);
                background_->blit();
            }
    }
    glColor3f(1, 1, 1);
    if (current_panels) draw_visible_panels(*current_panels, scroll_x, scroll_y, 1);
    if (edit_mode) cables.draw();
    draw_message_line();
    pop_ortho();
    SDL_GL_SwapBuffers();
}

namespace {
// TM_FRAME_STATS=1: the time draw_frame took, said at the end (bench/editor_idle.sh).
struct frame_timing {
    int frames = 0;
    std::chrono::steady_clock::duration spent{};
    void add(std::chrono::steady_clock::duration d) { ++frames, spent += d; }
    ~frame_timing() {
        if (frames > 0)
            std::printf("frames drawn %d, %.2f ms each\n", frames,
                        std::chrono::duration<double, std::milli>(spent).count() / frames);
    }
};
} // namespace

int editor::run() {
    auto last_draw = std::chrono::steady_clock::now();
    std::optional<frame_timing> frame_stats;
    if (const char* v = std::getenv("TM_FRAME_STATS"); v && *v == '1') frame_stats.emplace();
    while (running) {
        int result = 0;
        const bool scope = pump_ && pump_->scope_view == 1;
        // The passes also run under the scope view, so the keys that leave it
        // (F1) and edit mode's zoom keys work there.
        if (edit_mode) {
            result = edit_pass(*current_panels, true);
        } else {
            result = play_pass(*current_panels, true);
        }
        if (!running) break;
        accept_remote_client();
        take_dashboard_actions();
        if (edit_mode && !scope) {
            if (relink_pending) {
                // Panels made or loaded since edit mode began show their plugs too.
                for (auto& p : *current_panels)
                    if (dynamic_cast<MODULE_GUI*>(p.get()) && p->display_mode != OBJET::back)
                        p->set_display_mode(OBJET::back);
                cables.rebuild(*current_generator, *current_panels);
            }
            for (auto& p : *current_panels) p->update();
        }
        if (docks_visible) dock_dashboards();
        if (pass_hook) pass_hook();
        const auto now = std::chrono::steady_clock::now();
        bool moving = false;
        for (const auto& p : *current_panels)
            moving = moving || (shows_moving_state(*p) && panel_in_view(*p, scroll_x, scroll_y));
        if (result < pass_loaded &&
            (result != 0 || now - last_draw >= (moving ? idle_redraw : quiet_redraw))) {
            last_draw = now;
            if (!scope) {
                draw_frame();
                if (frame_stats) frame_stats->add(std::chrono::steady_clock::now() - now);
            }
        }
        show_scope(pump_ && pump_->scope_view == 1);
        // Nothing happened: wait for input a little instead of spinning.
        if (result == 0) SDL_Delay(5);
    }
    return 0;
}

} // namespace tmod
