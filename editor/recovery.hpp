// Recovery sets: while the shown patch has unsaved changes, the editor writes
// it aside in the data directory's recovery/ folder, one set per patch file:
// its root level and every nested level as patch texts, and the path of the
// file it belongs to, so a crash or a power cut loses a few seconds at most
// and restoring never writes over another patch. Main thread only.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tmod {

// A nested level's text and the names that lead to it from the root.
struct recovered_level {
    std::vector<std::string> path;
    std::string text;
    std::string file; // where a read set keeps it
};

// A sequencer's patterns that differ from its partition file: written into
// the set by `write`, read back from `file`.
struct recovered_patterns {
    std::vector<std::string> path; // the level
    std::string sequencer;
    std::function<bool(const std::string& file)> write;
    std::string file; // where a read set keeps them
};

struct recovery_set {
    std::string origin; // the patch file it belongs to (empty: the untitled patch)
    std::string root_text;
    std::string root_file; // where a read set keeps it
    std::vector<recovered_level> nested;
    std::vector<recovered_patterns> patterns;
};

class recovery {
  public:
    explicit recovery(std::string folder = "recovery") : folder_(std::move(folder)) {}

    // Writes the set of `set.origin` atomically, file by file. False with why.
    bool write(const recovery_set& set, std::string& why) const;
    // The set of that patch file is gone (after a save or a discard).
    void remove(const std::string& origin) const;
    // A set for that patch file newer than the file itself.
    bool pending(const std::string& origin) const;
    // Reads the set back; false with why when it cannot be read or is not
    // that file's.
    bool read(const std::string& origin, recovery_set& set, std::string& why) const;
    // The set is renamed aside ("NAME.bad"), never read again.
    void set_aside(const std::string& origin) const;

    // The folder of a patch file's set: its base name and a short hash of its
    // path, so two patches of one name keep sets of their own.
    std::string folder_of(const std::string& origin) const;

  private:
    std::string folder_;
};

} // namespace tmod
