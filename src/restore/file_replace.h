#pragma once
// Putting several restored files in place together: each is first written complete to a temporary
// file beside its target, and only when all are ready are the targets replaced, all or none, so a
// failed restore never leaves a half-written file or a mix of old and new files behind.
#include <string>
#include <vector>

namespace kestrine::restore {

// A name beside `target` that no file has yet, for a temporary file of this program.
std::string UnusedSibling(const std::string& target, const std::string& tag);

struct StagedFile {
    std::string temporary;  // complete, checked content
    std::string target;
};

// Moves every temporary over its target. When any target cannot be replaced (a file another
// program holds open, or a folder of that name), every target is put back as it was. The
// temporaries are gone afterwards in every case. A target named twice gets the content staged last.
bool ReplaceFilesTogether(const std::vector<StagedFile>& files);

// Removes the temporaries of files that will not be put in place.
void DiscardStaged(const std::vector<StagedFile>& files);

}  // namespace kestrine::restore
