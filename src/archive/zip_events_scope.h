#pragma once
// A run binds the zip component's events for its own use; the component's earlier handlers come
// back when the run ends, however it ends.
#include <utility>

#include "archive/zip_component.h"

namespace kestrine::archive {

class ZipEventsScope {
  public:
    explicit ZipEventsScope(ZipComponent& zip) : zip_(zip), saved_(zip.Events()) {}
    ~ZipEventsScope() { zip_.Events() = std::move(saved_); }
    ZipEventsScope(const ZipEventsScope&) = delete;
    ZipEventsScope& operator=(const ZipEventsScope&) = delete;

  private:
    ZipComponent& zip_;
    ZipEvents saved_;
};

}  // namespace kestrine::archive
