#pragma once
// Each run keeps its temporary files (the manifest it stages, registry export files, files
// extracted to be read) in a folder of its own in the application folder, so no two runs ever share
// one. The folder's name ("~kestrine.run-<process>-<n>.tmp") tells what a run that was ended midway
// left, and which program made it.
#include <string>

namespace kestrine {

class RunFolder {
  public:
    // Makes a new folder in `appFolder`; Path() is empty when none could be made.
    explicit RunFolder(const std::string& appFolder);
    // Removes the folder and every file in it.
    ~RunFolder();
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

// Removes the run folders in `appFolder` of programs that no longer run; those of running programs
// (this one too) stay. Nothing else is touched. Returns how many were removed.
size_t RemoveLeftoverRunFolders(const std::string& appFolder);

}  // namespace kestrine
