// The three dashboards docked in the band at the top of the root level: the
// information panel (the level shown, the panel under the pointer), the
// module palette and the system panel (LOAD, SAVE, EDIT). While shown they
// lead the root level's panels; hidden (F5) they are kept here. Main thread only.
#pragma once

#include <array>
#include <string>

#include <vector>

#include "editor/module_panels.hpp"

namespace tmod {

class levels;
class view;
class LABEL;

class INFO_DASH : public OBJET {
  public:
    // `unsaved`: the patch shown differs from its file (a "*" after its name).
    INFO_DASH(const levels& shown, const view& v, const bool& unsaved);
    // The panel and its widget under the pointer (nulls: none). It is said in
    // words: the module's name and type, or a control's name and value.
    void set_target(OBJET* panel, SPRITE* widget = nullptr);
    void draw(int unused, int with_background) override;
    std::uint64_t own_look() const override;
    OBJET* target = nullptr;

  private:
    // The three lines drawn under the labels: where, what, how many.
    std::array<std::string, 3> lines() const;
    const levels& levels_;
    const view& view_;
    const bool& unsaved_;
    LABEL* name_label_;
    LABEL* type_label_;
};

// What the dashboards' buttons asked for since the last pass.
struct dashboard_actions {
    std::vector<module_kind> create;
    bool load = false, save = false, flip_mode = false;
};

class dashboards {
  public:
    dashboards(const levels& shown, const view& v) : levels_(shown), view_(v) {}

    // Made anew in front of the root level's panels (shown or not, as before).
    void make(panel_list& root_panels);
    // Forgotten (the root level's panels, theirs among them, are going).
    void clear();
    bool shown() const { return shown_; }
    // F5: taken out of the root level's panels, or put back in front.
    void toggle(panel_list& root_panels);
    // Back in the band at the top of the view.
    void dock();
    bool is_dashboard(const OBJET* p) const;
    // The buttons released since the last call.
    dashboard_actions take_actions();

    INFO_DASH* info() const { return info_; }
    // Set by the editor on every pass.
    bool unsaved = false;
    OBJET* palette() const { return palette_; }

  private:
    void put_in(panel_list& root_panels);

    const levels& levels_;
    const view& view_;
    INFO_DASH* info_ = nullptr;
    OBJET* palette_ = nullptr;
    OBJET* system_ = nullptr;
    bool shown_ = true;
    panel_list kept_; // while hidden
};

} // namespace tmod
