// The --render job of the program.
#pragma once

namespace tmod {
struct options;
// The --render job: loads the patch, feeds --input to the capture, applies
// --events and renders. Returns the process exit status.
int render_job(const options& o);
} // namespace tmod
