#pragma once

namespace ko {

class CleanupControl {
  public:
    virtual ~CleanupControl() = default;
    // Deletes the logged-on Windows user's documents, acting as that user.
    virtual void DeleteMyDocuments() = 0;
};

}  // namespace ko
