#pragma once

namespace lumarest {

// What a file system's scan read of a volume and its browsing needs again, kept typed as the
// scan left it (a room's own record, never parsed back from table text).
struct VolumeContents {
    virtual ~VolumeContents() = default;
};

}  // namespace lumarest
