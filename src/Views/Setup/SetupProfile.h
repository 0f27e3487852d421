#pragma once

#include <QString>

#include <array>
#include <optional>
#include <string_view>

// The three recommended audit policies of the Audit Setup screen, in picker order. The raw value
// is also the title.
enum class SetupProfile { minimal, investigation, verbose };

struct SetupProfileInfo {
    SetupProfile profile;
    const char *rawValue;
    const char *flags;
    const char *policy;
    const char *blurb;
};

inline constexpr std::array<SetupProfileInfo, 3> setupProfiles = {{
    {SetupProfile::minimal, "Minimal", "lo,aa,ad", "cnt",
     "Logins, authentication and administrative actions only. Very low volume."},
    {SetupProfile::investigation, "Investigation", "lo,aa,ad,ex,pc,fc,fd,fm,-fw", "cnt,argv",
     "Adds process execution with command lines, process lifecycle, file create/delete/attribute changes and "
     "failed writes. A good default for incident response."},
    {SetupProfile::verbose, "Verbose", "lo,aa,ad,ex,pc,fc,fd,fm,fw,nt,-fr", "cnt,argv",
     "Adds all file writes, network syscalls and failed reads. High volume — size trails and expiry accordingly."},
}};

inline constexpr const SetupProfileInfo &profileInfo(SetupProfile p)
{
    return setupProfiles[static_cast<size_t>(p)];
}
inline constexpr const char *rawValue(SetupProfile p)
{
    return profileInfo(p).rawValue;
}

// Exactly the three raw values, case-sensitively.
inline std::optional<SetupProfile> setupProfileFromRawValue(std::string_view raw)
{
    for (const auto &info : setupProfiles)
        if (raw == info.rawValue) return info.profile;
    return std::nullopt;
}

// The /etc/security/audit_control text for the profile: 14 lines, no line feed after the last.
QString auditControl(SetupProfile profile);
