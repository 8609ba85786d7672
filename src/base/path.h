#pragma once
// Windows paths as the program keeps them: UTF-8 text with backslashes, in the native build too.
// A forward slash counts as a separator as well, as it does for Windows.
#include <string>
#include <string_view>

namespace kestrine::base {

// `folder` and `name` joined by one `separator`; a folder that already ends with a separator (a
// drive root "C:\") gets no second one, and an empty folder gives the name alone.
std::string JoinPath(std::string_view folder, std::string_view name, char separator = '\\');
// The bare file name: the part after the last separator (the whole path when there is none).
std::string BaseName(std::string_view path);
// The folder that holds `path`: everything before its last separator, except that a root keeps its
// separator ("C:\", "\", "/"); empty when the path has no separator.
std::string FolderPart(std::string_view path);
// Whether `path` is full: on a drive ("C:\...") or on the network ("\\server\..."), not one
// that Windows would take from the current folder ("C:Mail", "\Mail", "Mail").
bool IsFullPath(std::string_view path);
// `folder` without the separators at its end, except a drive root's own ("C:\").
std::string WithoutTrailingSeparators(std::string_view folder);
// The drive a path lies on, as its root: "C:\" of a drive path, "\\server\share\" of a UNC one,
// the first separator of a rooted path; empty for a relative one. Case is kept.
std::string PathRoot(std::string_view path);

}  // namespace kestrine::base
