// What the update socket needs of the dialog that owns it: each complete module line, and an
// end with an error text. An interface so that the socket can be tested without a window.
#pragma once

#include <cstdint>
#include <string_view>

namespace omblor::update {

class UpdateSocketOwner {
public:
    virtual void OnModuleLine(std::int32_t code, char* line) = 0;
    virtual void EndWithError(std::string_view text) = 0;
    // A failure to tell that does not end the exchange by itself (the socket could not be made).
    virtual void OnNotice(std::string_view text) = 0;
    // The module closed the stream in an orderly way; reading has stopped.
    virtual void OnModuleClosed() {}
    // The same end with a details part for the box (address, port, the system's reason).
    virtual void EndWithErrorDetails(std::string_view text, std::string_view /*details*/) {
        EndWithError(text);
    }

protected:
    ~UpdateSocketOwner() = default;
};

}  // namespace omblor::update
