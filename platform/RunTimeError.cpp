#include "platform/RunTimeError.h"

RunTimeError::RunTimeError(const QString& description)
    : std::runtime_error(description.toStdString()), m_description(description) {}
