// The meter profiles a program offers: the built-in ones, then those of the profile folders.
#pragma once

#include "acquisition/meter_profile.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// Built-in profiles first; a folder's "*.profile" files add theirs, and one
// with a built-in profile's model takes its place (a user may tune the
// 34401A's time-outs). A file that cannot be read as a profile is skipped
// and said once, with its line. Each host owns its catalog.
class ProfileCatalog {
public:
    ProfileCatalog();

    // Files read in name order; a missing folder is no problem.
    void addFolder(const std::string& folder);

    // In the order the Meter choice offers them.
    std::vector<const MeterProfile*> all() const;
    // By its model text, letter case aside; null when there is none of that name.
    const MeterProfile* named(std::string_view model) const;
    // From a meter's "*IDN?" answer: a profile that names the model among
    // what it identifies, or else the built-in rule (ProfileForIdentity).
    const MeterProfile& forIdentity(std::string_view identity, bool gpib) const;
    // "file:line: what" for each file skipped.
    const std::vector<std::string>& problems() const { return problems_; }

    // The package's folder, then the user's ($XDG_CONFIG_HOME/velmora/profiles,
    // ~/.config/velmora/profiles without it).
    static std::vector<std::string> StandardFolders();

private:
    std::vector<std::unique_ptr<MeterProfile>> profiles_;
    std::vector<std::string> problems_;
};

} // namespace velmora
