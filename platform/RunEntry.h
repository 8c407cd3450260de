#pragma once
// Start with the user's session: the machine-wide Run key on Windows; an XDG
// autostart entry elsewhere, whose presence stands for the Run value.

#include <QString>

#include <stdexcept>

namespace platform {

// Writing the entry failed: "Failed to set data for '<name>'".
class RunEntryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

QString RunEntryPath(const QString& name);
// Throws RunEntryError when the entry cannot be written.
void WriteRunEntry(const QString& name, const QString& executablePath);
// A missing entry, or one that cannot be removed, is no error.
void DeleteRunEntry(const QString& name);
bool RunEntryExists(const QString& name);

}  // namespace platform
