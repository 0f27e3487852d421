#pragma once

#include <stdexcept>

// Whether the application starts at login; the values are fixed.
enum class LoginItemStatus : int {
    notRegistered = 0,
    enabled = 1,
    requiresApproval = 2,
    notFound = 3,
};

// Registering or unregistering failed; what() is the reason, for the user.
class LoginItemError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The application's own login item.
class LoginItem {
public:
    virtual ~LoginItem() = default;
    // Both throw LoginItemError.
    virtual void registerItem() = 0;
    virtual void unregisterItem() = 0;
    virtual LoginItemStatus status() const = 0;
};
