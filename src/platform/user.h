#pragma once

#include <QtGlobal>

namespace platform {

/// The user the process runs as, for names that must be private to that user.
quint32 userId();

} // namespace platform
