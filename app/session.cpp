#include "app/session.h"

#include <utility>

#include "app/startup.h"

namespace zt {

Session::Session(SessionSeams seams, AppSettings settings)
    : m_seams(seams), m_settings(std::move(settings)), m_logs{m_seams.store, m_settings.AppRegistryKey} {}

SystemSession::SystemSession()
    : m_session(SessionSeams{platform::SystemRawIo(), platform::SystemSettingsStore(), platform::SystemDestination(),
                             m_drives, m_launcher},
                StartUp(platform::SystemSettingsStore(), SystemStartupFacts())) {}

}  // namespace zt
