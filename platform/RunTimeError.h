#pragma once

#include <QString>
#include <stdexcept>

// A failure that ends the operation under way; its description is shown to the
// user by the operation's driver.
class RunTimeError : public std::runtime_error {
public:
    explicit RunTimeError(const QString& description);
    const QString& description() const { return m_description; }

private:
    QString m_description;
};
