#include "support/harness.hpp"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tmod::test {

std::vector<float> run(OUTPUT& module, int n) {
    std::vector<float> out;
    out.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        module.compute();
        out.push_back(module.value);
    }
    return out;
}

double crossing_frequency(const std::vector<float>& s, double rate) {
    double first = -1, last = -1;
    int crossings = 0;
    for (std::size_t i = 1; i < s.size(); ++i) {
        if (s[i - 1] < 0.0f && s[i] >= 0.0f) {
            const double t = (i - 1) + (0.0 - s[i - 1]) / (double(s[i]) - s[i - 1]);
            if (first < 0) first = t;
            last = t;
            ++crossings;
        }
    }
    if (crossings < 2) return 0.0;
    return (crossings - 1) * rate / (last - first);
}

double rms(const std::vector<float>& s, std::size_t from) {
    double sum = 0;
    std::size_t n = 0;
    for (std::size_t i = from; i < s.size(); ++i, ++n) sum += double(s[i]) * s[i];
    return n ? std::sqrt(sum / n) : 0.0;
}

float peak(const std::vector<float>& s, std::size_t from) {
    float p = 0;
    for (std::size_t i = from; i < s.size(); ++i) p = std::fmax(p, std::fabs(s[i]));
    return p;
}

std::string scratch_dir(const std::string& name) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(TM_BINARY_DIR) / "test-scratch" / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir.string();
}

void write_text(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary);
    f << text;
}

std::string read_text(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

} // namespace tmod::test
