// libFuzzer target: any bytes as a patch file must load and tick without a
// crash, an overflow or a hang.
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "engine/generator.hpp"
#include "patchfile/patch_reader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = "/tmp/tmodular-fuzz-" + std::to_string(::getpid()) + ".tsy";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    tmod::GENERATOR g;
    tmod::load_patch(g, path.c_str());
    for (int i = 0; i < 64; ++i) g.compute();
    return 0;
}
