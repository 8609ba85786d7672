#pragma once
// Each run keeps its temporary files (the manifest it stages, registry export files, files
// extracted to be read) in a folder of its own in the user's folder, so no two runs ever share
// one. The folder is made anew and only its user can open it, so nobody else can plant or swap a
// file the run stages and reads back. The folder's name ("~kestrine.run-<process>-<n>.tmp") tells
// what a run that was ended midway left, and which program made it.
#include <string>

namespace kestrine {

class RunFolder {
  public:
    // Makes a new folder in `tempFolder`; Path() is empty when none could be made.
    explicit RunFolder(const std::string& tempFolder);
    // Removes the folder and every file in it.
    ~RunFolder();
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

// Removes the run folders in `tempFolder` of programs that no longer run; those of running
// programs (this one too) stay, and so does anything named like one that is a junction or another
// user's. Nothing else is touched.
void RemoveLeftoverRunFolders(const std::string& tempFolder);

}  // namespace kestrine
