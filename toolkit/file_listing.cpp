#include "toolkit/file_listing.hpp"

#include "util/text.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

namespace tmod {
namespace fs = std::filesystem;
namespace {

// Deeper trees are not a patch library; the limit also bounds the recursion.
constexpr int max_depth = 32;

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool less_without_case(const fs::path& a, const fs::path& b) {
    const std::string la = lower(a.filename().string()), lb = lower(b.filename().string());
    if (la != lb) return la < lb;
    return a.filename().string() < b.filename().string(); // a stable order for "A" and "a"
}

// Whether an extension is one of a comma-separated list ("wav,flac").
bool wanted(const std::string& ext, const std::string& list) {
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t end = std::min(list.find(',', start), list.size());
        if (list.compare(start, end - start, ext) == 0) return true;
        start = end + 1;
    }
    return false;
}

void collect(const fs::path& dir, const std::string& wanted_ext, int depth,
             std::vector<std::string>& out) {
    std::error_code ec;
    fs::directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec);
    if (ec) return;
    std::vector<fs::path> files, subdirs;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        const fs::directory_entry& entry = *it;
        std::error_code type_ec;
        if (entry.is_symlink(type_ec) && entry.is_directory(type_ec)) continue;
        if (entry.is_directory(type_ec)) {
            subdirs.push_back(entry.path());
        } else if (entry.is_regular_file(type_ec)) {
            const std::string ext = entry.path().extension().string();
            if (ext.size() > 1 && wanted(lower(ext.substr(1)), wanted_ext))
                files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end(), less_without_case);
    std::sort(subdirs.begin(), subdirs.end(), less_without_case);
    for (const fs::path& f : files) out.push_back(f.generic_string());
    if (depth >= max_depth) return;
    for (const fs::path& d : subdirs) collect(d, wanted_ext, depth + 1, out);
}

// Index of the entry that is `current`: the same path, else the same file
// reached by another path (absolute, through a link); -1 when none is. Names
// differing only in case, or namesakes in subdirectories, are other files.
int find_entry(const std::vector<std::string>& entries, const char* current) {
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i] == current) return static_cast<int>(i);
    std::error_code ec;
    if (!fs::exists(current, ec)) return -1;
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (fs::equivalent(entries[i], current, ec)) return static_cast<int>(i);
    return -1;
}

std::vector<std::string> kept_files(const char* directory, const char* extension,
                                    path_filter keep) {
    std::vector<std::string> entries = list_files(directory, extension);
    if (keep)
        entries.erase(std::remove_if(entries.begin(), entries.end(),
                                     [keep](const std::string& e) { return !keep(e); }),
                      entries.end());
    return entries;
}

char* give(const std::string& entry, char* out, std::size_t capacity) {
    if (!out || capacity == 0) return nullptr;
    copy_text(out, capacity, entry);
    return out;
}

} // namespace

std::vector<std::string> list_files(const char* directory, const char* extension) {
    std::vector<std::string> entries;
    if (!directory || !extension) return entries;
    std::error_code ec;
    if (!fs::is_directory(directory, ec)) {
        std::printf("Oula \n");
        return entries;
    }
    collect(fs::path(directory), lower(extension), 0, entries);
    for (const std::string& e : entries) std::printf("[[S[%s]\n", escaped_controls(e).c_str());
    return entries;
}

std::string base_name(const std::string& path) {
    const std::size_t cut = path.find_last_of("/\\\n");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

char* next_file(const char* current, const char* directory, const char* extension, char* out,
                std::size_t capacity, path_filter keep) {
    const std::vector<std::string> entries = kept_files(directory, extension, keep);
    if (entries.empty()) return nullptr;
    if (!current || !current[0]) return give(entries.front(), out, capacity);
    std::printf("OK-Suivant [%d]\n", static_cast<int>(entries.size()));
    const int found = find_entry(entries, current);
    if (found < 0) return nullptr;
    const std::size_t next = (static_cast<std::size_t>(found) + 1) % entries.size();
    char* result = give(entries[next], out, capacity);
    std::printf("retour recupere_nom_fichier_suivant[[%s]]\n", escaped_controls(result).c_str());
    return result;
}

char* previous_file(const char* current, const char* directory, const char* extension, char* out,
                    std::size_t capacity, path_filter keep) {
    const std::vector<std::string> entries = kept_files(directory, extension, keep);
    if (entries.empty()) return nullptr;
    if (!current || !current[0]) return give(entries.back(), out, capacity);
    const int found = find_entry(entries, current);
    if (found < 0) return nullptr;
    return give(entries[found > 0 ? static_cast<std::size_t>(found) - 1 : entries.size() - 1], out,
                capacity);
}

} // namespace tmod
