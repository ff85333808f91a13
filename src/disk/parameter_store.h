#pragma once

#include <string>
#include <vector>

namespace lumarest {

class Reporter;

// The per-disk parameter store: an INI file in the user's configuration folder with the key
// and value names of the registry tree "LMRDSK_param_E" (sub-keys Cylinder, Head, MediaType,
// Model, SectorsPerTrack, Size; one value "Disk" + index in each). A store that cannot be
// written is reported once and the program goes on.
class ParameterStore {
public:
    explicit ParameterStore(std::string iniPath);
    // $XDG_CONFIG_HOME/Lumarest/LMRDSK_param_E.ini, or ~/.config/... when unset.
    static std::string DefaultPath();

    void Clear();
    void SetValue(const std::string& subKey, const std::string& valueName, const std::string& value);
    // Writes the file; on failure reports once through the reporter.
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
};

}  // namespace lumarest
