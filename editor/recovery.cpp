#include "editor/recovery.hpp"

#include <cstdio>
#include <filesystem>
#include <sys/stat.h>

#include "util/atomic_file.hpp"
#include "util/text.hpp"
#include "util/word_scanner.hpp"

namespace tmod {

namespace {
constexpr const char* origin_file = "origin";
constexpr const char* root_file = "patch.tsy";
constexpr const char* levels_file = "levels";
constexpr const char* patterns_file = "patterns";

bool write_text(const std::string& path, const std::string& text, std::string& why) {
    return write_file_atomically(path.c_str(), text.data(), text.size(), &why);
}

// Modification time, or -1 when the path holds nothing.
long long modified(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return -1;
    return static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

std::string real_path(const std::string& path) {
    char resolved[4096];
    return !path.empty() && ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}
} // namespace

std::string recovery::folder_of(const std::string& origin) const {
    const std::string full = real_path(origin);
    // FNV-1a of the whole path.
    unsigned long long hash = 1469598103934665603ULL;
    for (unsigned char c : full) hash = (hash ^ c) * 1099511628211ULL;
    std::string name = origin.empty() ? "untitled" : origin.substr(origin.rfind('/') + 1);
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".tsy") == 0) name.resize(name.size() - 4);
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 32 || c == '/' || c == '.') c = '_';
    char tail[24];
    std::snprintf(tail, sizeof tail, "-%08llx", hash & 0xFFFFFFFFULL);
    return folder_ + "/" + name + tail;
}

bool recovery::write(const recovery_set& set, std::string& why) const {
    const std::string dir = folder_of(set.origin);
    ::mkdir(folder_.c_str(), 0755);
    if (::mkdir(dir.c_str(), 0755) != 0 && !std::filesystem::is_directory(dir)) {
        why = "cannot make " + dir;
        return false;
    }
    std::string levels;
    for (std::size_t i = 0; i < set.nested.size(); ++i) {
        if (!write_text(dir + "/level" + std::to_string(i) + ".tsy", set.nested[i].text, why))
            return false;
        levels += std::to_string(i);
        for (const std::string& name : set.nested[i].path) levels += " " + name;
        levels += "\n";
    }
    std::string patterns;
    for (std::size_t i = 0; i < set.patterns.size(); ++i) {
        const std::string file = dir + "/patterns" + std::to_string(i) + ".PAR";
        if (!set.patterns[i].write(file)) {
            why = "cannot write " + file;
            return false;
        }
        patterns += std::to_string(i) + " " + set.patterns[i].sequencer;
        for (const std::string& name : set.patterns[i].path) patterns += " " + name;
        patterns += "\n";
    }
    // The origin last: a set is whole once it names its file.
    return write_text(dir + "/" + root_file, set.root_text, why) &&
           write_text(dir + "/" + levels_file, levels, why) &&
           write_text(dir + "/" + patterns_file, patterns, why) &&
           write_text(dir + "/" + origin_file, real_path(set.origin) + "\n", why);
}

void recovery::remove(const std::string& origin) const {
    std::error_code ignored;
    std::filesystem::remove_all(folder_of(origin), ignored);
}

bool recovery::pending(const std::string& origin) const {
    const long long set = modified(folder_of(origin) + "/" + origin_file);
    return set >= 0 && (origin.empty() || set > modified(origin));
}

bool recovery::read(const std::string& origin, recovery_set& set, std::string& why) const {
    const std::string dir = folder_of(origin);
    std::string text;
    if (!read_text_file((dir + "/" + origin_file).c_str(), text)) {
        why = "the set has no origin";
        return false;
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (text != real_path(origin)) {
        why = "the set belongs to " + text;
        return false;
    }
    set.origin = origin;
    set.root_file = dir + "/" + root_file;
    if (!is_regular_file(set.root_file.c_str()) ||
        !read_text_file((dir + "/" + root_file).c_str(), set.root_text)) {
        why = "the set's patch cannot be read";
        return false;
    }
    set.nested.clear();
    set.patterns.clear();
    bool whole = true;
    // Each line of an index: a number, then words.
    auto each_line = [&](const char* index, auto take) {
        std::string text;
        if (!read_text_file((dir + "/" + index).c_str(), text)) return;
        std::size_t start = 0;
        while (start < text.size() && whole) {
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            word_scanner words(text.substr(start, end - start));
            start = end + 1;
            std::string number, word;
            std::vector<std::string> rest;
            if (!words.word(number)) continue;
            while (words.word(word)) rest.push_back(word);
            whole = take(number, rest);
        }
    };
    each_line(levels_file, [&](const std::string& number, std::vector<std::string>& rest) {
        recovered_level level{rest, {}, dir + "/level" + number + ".tsy"};
        if (!is_regular_file(level.file.c_str()) || !read_text_file(level.file.c_str(), level.text)) {
            why = "the set's level " + number + " cannot be read";
            return false;
        }
        set.nested.push_back(std::move(level));
        return true;
    });
    each_line(patterns_file, [&](const std::string& number, std::vector<std::string>& rest) {
        const std::string file = dir + "/patterns" + number + ".PAR";
        if (rest.empty() || !is_regular_file(file.c_str())) {
            why = "the set's patterns " + number + " cannot be read";
            return false;
        }
        recovered_patterns p;
        p.sequencer = rest.front();
        p.path.assign(rest.begin() + 1, rest.end());
        p.file = file;
        set.patterns.push_back(std::move(p));
        return true;
    });
    return whole;
}

void recovery::set_aside(const std::string& origin) const {
    const std::string dir = folder_of(origin);
    std::string aside = dir + ".bad";
    for (int n = 2; path_exists(aside.c_str()) && n < 100; ++n) aside = dir + ".bad" + std::to_string(n);
    std::rename(dir.c_str(), aside.c_str());
}

} // namespace tmod
