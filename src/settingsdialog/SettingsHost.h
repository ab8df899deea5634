#pragma once
// What the settings dialog needs of the window that opens it.

namespace fetchora {

class SettingsHost {
public:
    virtual ~SettingsHost() = default;
    // Puts the current interface texts on the host's captions.
    virtual void SetLabels() = 0;
    // Settings may be saved (the host has loaded).
    virtual bool saveAllowed() const = 0;
    // The download interval in minutes, handed over on Save.
    virtual void setInterval(long minutes) = 0;
};

}  // namespace fetchora
