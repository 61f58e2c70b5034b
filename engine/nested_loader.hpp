// What a GENERATOR's FILE field needs to fill its nested container, and what
// any field naming a file tells when that file cannot be loaded: the load
// that reads the field. The patch reader implements it with the state of that
// one load (the files being read, its budget, its problems) and hands it down
// with each field it applies, so a nested patch counts against the load that
// contains it and against no other.
#pragma once

namespace tmod {

class GENERATOR;

class nested_loader {
  public:
    // Main thread of the load. Empties the container and reads the file into
    // it; refusals and bad records are printed and counted by the load.
    virtual void load_nested(GENERATOR& container, const char* path) = 0;
    // A file the field names (a sample, a partition) could not be loaded:
    // the record being read counts as not read whole.
    virtual void file_not_loaded(const char* path) { (void)path; }

  protected:
    ~nested_loader() = default;
};

} // namespace tmod
