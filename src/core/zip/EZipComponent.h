#pragma once

#include <stdexcept>
#include <string>

namespace tabula {

// A failure inside the zip component, carrying the message id and whether the
// component shows the text in a message box when it catches it. The text is
// the message of the id (or the missing-message notice, never formatted).
class EZipComponent : public std::runtime_error {
public:
    // The plain text of id.
    EZipComponent(int id, bool showToUser);
    // The text of id with diskNumber for its "%d"; shown to the user.
    EZipComponent(int id, int diskNumber);
    // The text of id with text for its "%s"; shown to the user.
    EZipComponent(int id, const std::string& text);
    EZipComponent(int id, const char* text) : EZipComponent(id, std::string(text)) {}

    int ResourceId() const { return resourceId_; }
    bool ShowToUser() const { return showToUser_; }

private:
    int resourceId_;
    bool showToUser_;
};

} // namespace tabula
