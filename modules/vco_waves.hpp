// The waveform numbers of VCO and MULTI_VCO (and the first four of FAKE303),
// as patch files and panels give them; apart from the oscillator so that the
// rows can read them without the oscillator's class.
#pragma once

namespace tmod {

enum vco_wave : int {
    wave_sine = 1,
    wave_triangle,
    wave_saw,
    wave_square,
    wave_pulse,
    wave_white_noise,
    wave_rossler,
    wave_lorenz,
    wave_random_sign
};

} // namespace tmod
