#pragma once

#include <string>

// The application's bundled data (event tables, the sample trail), found beside the executable:
// "resources" next to it in the build tree, "../share/quillmarsh/resources" when installed.
namespace Resources {

// The folder, or "" when neither place exists.
std::string directory();
// The path of a bundled file, or "" when it is not there.
std::string path(const std::string &name);
// Points the lookup at another folder (tests); "" restores the default.
void setDirectory(const std::string &folder);

} // namespace Resources
