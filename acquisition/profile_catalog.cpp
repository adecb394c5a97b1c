// The profile catalog: built-in profiles and profile folders.
#include "acquisition/profile_catalog.h"

#include "acquisition/profile_file.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#ifndef VELMORA_PROFILE_FOLDER
#define VELMORA_PROFILE_FOLDER "/usr/share/velmora/profiles"
#endif

namespace velmora {

namespace {

// "maker,model,serial,firmware": the model is the second field.
std::string ModelOf(std::string_view identity) {
    const size_t comma = identity.find(',');
    if (comma == std::string_view::npos) {
        return {};
    }
    const std::string_view rest = identity.substr(comma + 1);
    return LowerCaseAscii(rest.substr(0, rest.find(',')));
}

constexpr size_t kLongestFile = 64 * 1024; // a profile is a page of text

} // namespace

ProfileCatalog::ProfileCatalog() {
    for (const MeterProfile* profile : KnownProfiles()) {
        profiles_.push_back(std::make_unique<MeterProfile>(*profile));
    }
}

void ProfileCatalog::addFolder(const std::string& folder) {
    namespace fs = std::filesystem;
    std::error_code error;
    std::vector<fs::path> files;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (it->path().extension() == ".profile") {
            files.push_back(it->path());
        }
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        std::string text(kLongestFile + 1, '\0');
        in.read(text.data(), static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<size_t>(in.gcount()));
        ProfileFileResult read;
        if (!in.eof() && !in) {
            read.problem = "cannot be read";
        } else if (text.size() > kLongestFile) {
            read.problem = "longer than 64 KiB: no profile";
        } else {
            read = ParseProfileFile(text);
        }
        if (!read.profile) {
            problems_.push_back(file.string() +
                                (read.problemLine ? ":" + std::to_string(read.problemLine) : "") +
                                ": " + read.problem);
            continue;
        }
        const auto same = std::find_if(profiles_.begin(), profiles_.end(), [&](const auto& p) {
            return LowerCaseAscii(p->model) == LowerCaseAscii(read.profile->model);
        });
        if (same != profiles_.end()) {
            **same = *read.profile;
        } else {
            profiles_.push_back(std::make_unique<MeterProfile>(*read.profile));
        }
    }
}

std::vector<const MeterProfile*> ProfileCatalog::all() const {
    std::vector<const MeterProfile*> out;
    for (const auto& profile : profiles_) {
        out.push_back(profile.get());
    }
    return out;
}

const MeterProfile* ProfileCatalog::named(std::string_view model) const {
    for (const auto& profile : profiles_) {
        if (LowerCaseAscii(profile->model) == LowerCaseAscii(model)) {
            return profile.get();
        }
    }
    return nullptr;
}

const MeterProfile& ProfileCatalog::forIdentity(std::string_view identity, bool gpib) const {
    const std::string model = ModelOf(identity);
    for (const auto& profile : profiles_) {
        for (const std::string& name : profile->identifies) {
            if (!model.empty() && LowerCaseAscii(name) == model) {
                return *profile;
            }
        }
    }
    // The built-in rule, but with this catalog's copy of the profile it names.
    const MeterProfile* chosen = named(ProfileForIdentity(identity, gpib).model);
    return chosen ? *chosen : ProfileForIdentity(identity, gpib);
}

std::vector<std::string> ProfileCatalog::StandardFolders() {
    std::vector<std::string> folders{VELMORA_PROFILE_FOLDER};
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    if (config && *config == '/') {
        folders.push_back(std::string(config) + "/velmora/profiles");
    } else if (home && *home) {
        folders.push_back(std::string(home) + "/.config/velmora/profiles");
    }
    return folders;
}

} // namespace velmora
