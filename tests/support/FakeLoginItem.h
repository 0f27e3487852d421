#pragma once

#include "Platform/LoginItem.h"

#include <optional>
#include <string>

// A login item held in memory, with a settable outcome.
class FakeLoginItem : public LoginItem {
public:
    LoginItemStatus current = LoginItemStatus::notRegistered;
    LoginItemStatus afterRegistering = LoginItemStatus::enabled;
    std::optional<std::string> failure; // thrown, and the status left alone, while set
    int registrations = 0;
    int unregistrations = 0;

    void registerItem() override
    {
        ++registrations;
        if (failure) throw LoginItemError(*failure);
        current = afterRegistering;
    }
    void unregisterItem() override
    {
        ++unregistrations;
        if (failure) throw LoginItemError(*failure);
        current = LoginItemStatus::notRegistered;
    }
    LoginItemStatus status() const override { return current; }
};
