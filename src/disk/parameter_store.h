#pragma once

#include <string>
#include <vector>

namespace lumarest {

class Reporter;

inline constexpr const char* kParameterStoreKey = "LMRDSK_param_E";
inline constexpr const char* kCylinderKey = "LMRDSK_param_E\\Cylinder";
inline constexpr const char* kHeadKey = "LMRDSK_param_E\\Head";
inline constexpr const char* kMediaTypeKey = "LMRDSK_param_E\\MediaType";
inline constexpr const char* kModelKey = "LMRDSK_param_E\\Model";
inline constexpr const char* kSectorsPerTrackKey = "LMRDSK_param_E\\SectorsPerTrack";
inline constexpr const char* kSizeKey = "LMRDSK_param_E\\Size";

// The per-disk parameter store: an INI file in the user's configuration folder with the key
// and value names of the registry tree "LMRDSK_param_E" (sub-keys Cylinder, Head, MediaType,
// Model, SectorsPerTrack, Size; one value "Disk" + index in each). A store that cannot be
// written is reported once and the program goes on. A store without a path, or one told not to
// write, keeps its values in memory only.
class ParameterStore {
  public:
    explicit ParameterStore(std::string iniPath = {});
    // $XDG_CONFIG_HOME/Lumarest/LMRDSK_param_E.ini, or $HOME/.config/... when that is unset;
    // empty when neither names an absolute folder: a relative one may lie on the disk searched.
    static std::string DefaultPath();

    // Whether Save may touch the file; off while the file's folder lies on a disk being searched.
    void SetWritable(bool writable) { writable_ = writable; }
    bool Writable() const { return writable_ && !path_.empty(); }

    void Clear();
    void SetValue(const std::string& subKey, const std::string& valueName,
                  const std::string& value);
    // The value as set, or an empty text.
    std::string Value(const std::string& subKey, const std::string& valueName) const;
    // Writes the file when it may and its text changed; on failure reports once through the
    // reporter.
    bool Save(Reporter& reporter);

    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    // subKey -> (valueName -> value), kept in insertion order of the sub-keys
    struct Entry {
        std::string subKey;
        std::string valueName;
        std::string value;
    };
    std::vector<Entry> entries_;
    bool failureReported_ = false;
    bool writable_ = true;
};

}  // namespace lumarest
